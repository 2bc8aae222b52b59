#include "vstgui/aeffguieditor.h"

#include "core/audioeffectx.h"

#include <atomic>

namespace VSTGUI {

namespace {

// How knobs follow the mouse, for every editor of the process.
std::atomic<int32_t> processKnobMode{kCircularMode};

} // namespace

int32_t VSTGUIEditorInterface::getKnobMode() const {
    return processKnobMode.load(std::memory_order_relaxed);
}

AEffGUIEditor::AEffGUIEditor(AudioEffect* effect) : AEffEditor(effect) {}

AEffGUIEditor::~AEffGUIEditor() = default;

bool AEffGUIEditor::getRect(ERect** ppRect) {
    if (ppRect == nullptr) return false;
    *ppRect = &rect;
    return true;
}

bool AEffGUIEditor::open(void* ptr) {
    AEffEditor::open(ptr);
    return true;
}

void AEffGUIEditor::close() {
    AEffEditor::close();
}

bool AEffGUIEditor::isOpen() {
    return frame != nullptr && frame->isOpen();
}

void AEffGUIEditor::idle() {
    if (isOpen()) frame->idle();
}

bool AEffGUIEditor::onKeyDown(VstKeyCode& keyCode) {
    return isOpen() && frame->onKeyDown(keyCode) != -1;
}

bool AEffGUIEditor::onKeyUp(VstKeyCode& keyCode) {
    return isOpen() && frame->onKeyUp(keyCode) != -1;
}

bool AEffGUIEditor::onWheel(float distance) {
    if (!isOpen()) return false;
    CPoint where;
    if (!frame->getCurrentMouseLocation(where)) return false;
    return frame->onWheel(where, kMouseWheelAxisY, distance, frame->getCurrentMouseButtons());
}

bool AEffGUIEditor::setKnobMode(VstInt32 mode) {
    processKnobMode.store(mode, std::memory_order_relaxed);
    return true;
}

namespace {

// Only the plug-in's parameters have an edit the host can follow; the tags
// of the editor's own controls (buttons, logos, menus of commands) stay here.
bool isParameterIndex(AudioEffect* effect, int32_t index) {
    return effect != nullptr && index >= 0 && index < effect->getAeffect()->numParams;
}

} // namespace

void AEffGUIEditor::beginEdit(int32_t index) {
    if (!isParameterIndex(effect, index)) return;
    if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->beginEdit(index);
}

void AEffGUIEditor::endEdit(int32_t index) {
    if (!isParameterIndex(effect, index)) return;
    if (auto* fx = dynamic_cast<AudioEffectX*>(effect)) fx->endEdit(index);
}

void AEffGUIEditor::doIdleStuff() {
    if (effect != nullptr) effect->masterIdle();
}

uint32_t AEffGUIEditor::getTicks() {
    return getPlatformTicks();
}

} // namespace VSTGUI
