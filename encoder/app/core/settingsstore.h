// A per-user store of raw binary values addressed by backslash-separated key paths, kept
// as one file per value under the user's configuration folder. The leading "Software"
// key is the configuration folder itself, so "Software\Orbanwick Software\Quillreel\v1.0\x"
// lives in $XDG_CONFIG_HOME/Orbanwick Software/Quillreel/v1.0/x. Files are written
// atomically (temporary file, then rename) and only the user may read them: they hold the
// playback password in clear.
#pragma once

#include <cstddef>
#include <string>

class SettingsStore {
public:
    // root: the configuration folder; empty means $XDG_CONFIG_HOME or ~/.config.
    explicit SettingsStore(std::string root = {});

    // Copies the stored value into dest when it exists and holds at most byteCount bytes.
    // Returns 0 on success, -1 otherwise; on failure dest is unchanged.
    int loadSetting(const std::string& fullPath, size_t byteCount, void* dest) const;
    // Creates the keys on the way and stores byteCount bytes. Returns 0 or -1.
    int saveSetting(const std::string& fullPath, const void* src, size_t byteCount) const;

    const std::string& root() const { return m_root; }
    // The file that holds a value, or empty when the path is not acceptable (more than ten
    // levels, an empty component, "." or "..", or a '/' inside a component).
    std::string fileFor(const std::string& fullPath) const;

private:
    std::string m_root;
};

inline constexpr const char* kSettingsKey = "Software\\Orbanwick Software\\Quillreel\\v1.0";
