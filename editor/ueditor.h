// uEditor: Ondix's editor object.
//
// Created closed by the plug-in's constructor and owned by it through the
// VST 2.4 base. Until the graphical editor exists it has no window, but it
// keeps the whole contract the plug-in relies on: opening sets and clears the
// plug-in's editorOpening/editorOpened flags, values sent to it are recorded
// and shown at the next idle, and rebuild requests are remembered.
//
// setParameter may be called on the audio thread (host automation reaches
// APlugin::setParameter there), so it only records the value in atomics; the
// editor applies it on its own idle, on the main thread.
#pragma once

#include "core/audioeffect.h"
#include "core/tags.h"

#include <array>
#include <atomic>

class APlugin;

class uEditor : public AEffEditor {
public:
    explicit uEditor(AudioEffect* effect);
    ~uEditor() override;

    bool open(void* parent) override;
    void close() override;
    bool isOpen() override;
    void idle() override;

    void resume();
    void setEditTag(int tag);
    void setParameter(int tag, float value);
    void updateFrame();
    void updateXY();
    // The mouse wheel over the editor; without controls it is only noted.
    bool onWheel(float distance) override {
        lastWheel = distance;
        ++wheelCount;
        return true;
    }
    float lastWheelDistance() const { return lastWheel; }
    int wheelCalls() const { return wheelCount; }

    // What the editor currently shows for a tag (applied at idle).
    float shownValue(int tag) const;
    int getEditTag() const { return editTag; }
    bool rebuildRequested() const { return rebuildPending.load(std::memory_order_relaxed); }

private:
    APlugin* plugin() const;

    std::atomic<bool> opened{false};
    std::atomic<bool> rebuildPending{false};
    int editTag = -1;
    float lastWheel = 0.0f;
    int wheelCount = 0;

    // Values recorded by setParameter, waiting for idle.
    std::array<std::atomic<float>, tag::Count> pendingValue{};
    std::array<std::atomic<bool>, tag::Count> pendingFlag{};
    std::atomic<bool> anyPending{false};
    std::array<float, tag::Count> shown{};
};
