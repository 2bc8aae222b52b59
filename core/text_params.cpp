// Text held in parameters: the preset name (one character per tag), the two
// user-wave names and the tuning name (two characters per tag) travel inside
// the parameter set, so a state chunk carries them.

#include "core/aplugin.h"

namespace {

// Writes v into the stored, current and edited copies of a tag.
void storeTextValue(APlugin& plugin, int t, float v) {
    storeRelaxed(plugin.core.programStore[0].values[t], v);
    storeRelaxed(plugin.core.values.currentValue[t], v);
    storeRelaxed(plugin.core.values.editValue[t], v);
    plugin.core.valuesChanged();
}

void clearRun(APlugin& plugin, int firstTag, int count) {
    for (int i = 0; i < count; ++i)
        if (tag::isValid(firstTag + i)) storeTextValue(plugin, firstTag + i, 0.0f);
}

} // namespace

void APlugin::setStringFromParam(const std::string& text, int firstTag, int count) {
    if (count < 1) return;
    clearRun(*this, firstTag, count);
    const int length =
        static_cast<int>(text.size()) < count ? static_cast<int>(text.size()) : count - 1;
    for (int i = 0; i < length; ++i) {
        const int t = firstTag + i;
        if (!isValidTag(t)) continue;
        const int c = static_cast<unsigned char>(validChar(text[static_cast<size_t>(i)]));
        storeTextValue(*this, t, (static_cast<float>(c) + 0.5f) / 255.99f);
    }
}

std::string APlugin::getStringFromParamStr(int firstTag, int count) const {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const int t = firstTag + i;
        if (!isValidTag(t)) continue;
        const float v = loadRelaxed(storedProgram().values[t]);
        const float scaled = v * 255.99f + 0.1f;
        const int c = scaled > 0.0f && scaled < 256.0f ? static_cast<int>(scaled) : 0;
        if (c != 0 && c < 128) text.push_back(static_cast<char>(c));
    }
    return text;
}

void APlugin::set2StringFromParam(const std::string& textIn, int firstTag, int count) {
    if (count < 1) return;
    std::string text = textIn;
    if (text.size() % 2 != 0) text.push_back(' ');
    const int length =
        static_cast<int>(text.size()) < 2 * count ? static_cast<int>(text.size()) : 2 * count - 1;
    clearRun(*this, firstTag, count);
    for (int k = 0; 2 * k < length; ++k) {
        const int t = firstTag + k;
        const int high = static_cast<unsigned char>(validChar(text[static_cast<size_t>(2 * k)]));
        const int low = static_cast<unsigned char>(validChar(text[static_cast<size_t>(2 * k + 1)]));
        if (isValidTag(t))
            storeTextValue(*this, t, (static_cast<float>(high * 256 + low) + 0.5f) / 65536.0f);
    }
}

std::string APlugin::get2StringFromParamStr(int firstTag, int count) const {
    std::string text;
    for (int i = 0; i < count; ++i) {
        const int t = firstTag + i;
        if (!isValidTag(t)) continue;
        const float v = loadRelaxed(storedProgram().values[t]) * 65536.0f;
        const int n = v > 0.0f && v < 65536.0f ? static_cast<int>(v) : 0;
        const int high = n / 256;
        const int low = n - high * 256;
        if (high != 0 && high < 128) text.push_back(static_cast<char>(high));
        if (low != 0 && low < 128) text.push_back(static_cast<char>(low));
    }
    return text;
}
