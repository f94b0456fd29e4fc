#include "encoder/app/core/settings.h"

#include <array>
#include <cstring>

namespace {

std::string pathOf(const char* name) { return std::string(kSettingsKey) + "\\" + name; }

// One numeric setting: its value name and the field's address and size.
struct NumericSlot {
    const char* name;
    void* field;
    size_t bytes;
};

// The numeric settings in the order they are loaded and saved. The flags are one byte,
// the integers four, the reals eight, all in the machine's little-endian form.
template <typename Params, typename Mode>
std::array<NumericSlot, 25> numericSlots(Params& p, Mode& encodemode) {
    static_assert(sizeof(bool) == 1 && sizeof(int32_t) == 4 && sizeof(double) == 8);
    return {{
        {"fUseFastEncoding", (void*)&p.fUseFastEncoding, 1},
        {"fUseGrayscale", (void*)&p.fUseGrayscale, 1},
        {"nBytesCeiling", (void*)&p.nBytesCeiling, 4},
        {"nBytesTarget", (void*)&p.nBytesTarget, 4},
        {"nBytesFloor", (void*)&p.nBytesFloor, 4},
        {"nMaxFrameRate", (void*)&p.nMaxFrameRate, 4},
        {"rCropFactor", (void*)&p.rCropFactor, 8},
        {"rBrightness", (void*)&p.rBrightness, 8},
        {"rContrast", (void*)&p.rContrast, 8},
        {"bUseADPCM", (void*)&p.bUseADPCM, 1},
        {"bEnablePrefilter", (void*)&p.bEnablePrefilter, 1},
        {"bAudioHifi", (void*)&p.bAudioHifi, 1},
        {"bAudioBoost", (void*)&p.bAudioBoost, 1},
        {"nAudioBoostVal", (void*)&p.nAudioBoostVal, 4},
        {"encodemode", (void*)&encodemode, 4},
        {"nColorDepth", (void*)&p.nColorDepth, 4},
        {"nScreenWidth", (void*)&p.nScreenWidth, 4},
        {"nScreenHeight", (void*)&p.nScreenHeight, 4},
        {"nFrameStart", (void*)&p.nFrameStart, 4},
        {"nFrameEnd", (void*)&p.nFrameEnd, 4},
        {"nKeyFrameInterval", (void*)&p.nKeyFrameInterval, 4},
        {"fFlipImageVertically", (void*)&p.fFlipImageVertically, 1},
        {"fFlipImageHorizontally", (void*)&p.fFlipImageHorizontally, 1},
        {"fRotateImageSideways", (void*)&p.fRotateImageSideways, 1},
        {"fUncompressedVideo", (void*)&p.fUncompressedVideo, 1},
    }};
}

// A stored flag byte may hold anything; a bool must hold 0 or 1.
bool loadFlag(const SettingsStore& store, const char* name, bool& flag) {
    unsigned char b = flag ? 1 : 0;
    if (store.loadSetting(pathOf(name), 1, &b) != 0) {
        return false;
    }
    flag = b != 0;
    return true;
}

bool loadText(const SettingsStore& store, const char* name, std::string& text) {
    char buf[kSettingTextBytes + 1] = {};
    if (store.loadSetting(pathOf(name), kSettingTextBytes, buf) != 0) {
        return false;
    }
    text.assign(buf, strnlen(buf, kSettingTextBytes));
    return true;
}

int saveText(const SettingsStore& store, const char* name, const std::string& text) {
    char buf[kSettingTextBytes] = {};
    const std::string cut = CutSettingText(text);
    std::memcpy(buf, cut.data(), cut.size());
    return store.saveSetting(pathOf(name), buf, sizeof buf) == 0 ? 0 : 1;
}

} // namespace

MainWindowFields DefaultMainWindowFields() {
    MainWindowFields f;
    f.dbname = "Unnamed movie";
    return f;
}

std::string CutSettingText(const std::string& text) {
    std::string t = text.substr(0, std::min(text.find('\0'), text.size()));
    if (t.size() <= kSettingTextBytes - 1) {
        return t;
    }
    size_t n = kSettingTextBytes - 1;
    // Step back over continuation bytes so no character is cut in half.
    while (n > 0 && (static_cast<unsigned char>(t[n]) & 0xC0) == 0x80) {
        --n;
    }
    return t.substr(0, n);
}

void LoadSettings(const SettingsStore& store, EncodingParameters& params, MainWindowFields& fields) {
    for (const NumericSlot& slot : numericSlots(params, fields.encodemode)) {
        if (slot.bytes == 1) {
            loadFlag(store, slot.name, *static_cast<bool*>(slot.field));
        } else {
            store.loadSetting(pathOf(slot.name), slot.bytes, slot.field);
        }
    }
    loadText(store, "source_file", fields.source_file);
    loadText(store, "asource_file", fields.asource_file);
    loadText(store, "output_file", fields.output_file);
    loadText(store, "dbname", fields.dbname);
    loadText(store, "author", fields.author);
    loadText(store, "title", fields.title);
    loadText(store, "password", fields.password);
    loadFlag(store, "looping", fields.looping);
    loadFlag(store, "holding", fields.holding);
}

int SaveNumericSettings(const SettingsStore& store, const EncodingParameters& params,
                        int32_t encodemode) {
    int failed = 0;
    for (const NumericSlot& slot : numericSlots(params, encodemode)) {
        if (slot.bytes == 1) {
            const unsigned char b = *static_cast<const bool*>(slot.field) ? 1 : 0;
            failed += store.saveSetting(pathOf(slot.name), &b, 1) == 0 ? 0 : 1;
        } else {
            failed += store.saveSetting(pathOf(slot.name), slot.field, slot.bytes) == 0 ? 0 : 1;
        }
    }
    return failed;
}

int SaveSettings(const SettingsStore& store, const EncodingParameters& params,
                 const MainWindowFields& fields) {
    int failed = 0;
    failed += saveText(store, "source_file", fields.source_file);
    failed += saveText(store, "asource_file", fields.asource_file);
    failed += saveText(store, "output_file", fields.output_file);
    failed += saveText(store, "dbname", fields.dbname);
    failed += saveText(store, "author", fields.author);
    failed += saveText(store, "title", fields.title);
    failed += saveText(store, "password", fields.password);
    const unsigned char looping = fields.looping ? 1 : 0;
    const unsigned char holding = fields.holding ? 1 : 0;
    failed += store.saveSetting(pathOf("looping"), &looping, 1) == 0 ? 0 : 1;
    failed += store.saveSetting(pathOf("holding"), &holding, 1) == 0 ? 0 : 1;
    failed += SaveNumericSettings(store, params, fields.encodemode);
    return failed;
}
