#include "encoder/app/core/settingsstore.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kMaxLevels = 10;

std::vector<std::string> splitPath(const std::string& fullPath) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t pos = fullPath.find('\\', start);
        parts.push_back(fullPath.substr(start, pos == std::string::npos ? pos : pos - start));
        if (pos == std::string::npos) {
            break;
        }
        start = pos + 1;
    }
    return parts;
}

bool makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    struct stat st;
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

SettingsStore::SettingsStore(std::string root) : m_root(std::move(root)) {
    if (m_root.empty()) {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        if (xdg && *xdg == '/') {
            m_root = xdg;
        } else {
            const char* home = std::getenv("HOME");
            m_root = std::string(home ? home : "") + "/.config";
        }
    }
}

std::string SettingsStore::fileFor(const std::string& fullPath) const {
    std::vector<std::string> parts = splitPath(fullPath);
    if (parts.size() < 2 || parts.size() > kMaxLevels) {
        return {};
    }
    for (const std::string& p : parts) {
        if (p.empty() || p == "." || p == ".." || p.find('/') != std::string::npos ||
            p.find('\0') != std::string::npos) {
            return {};
        }
    }
    size_t first = parts.front() == "Software" ? 1 : 0;
    std::string file = m_root;
    for (size_t i = first; i < parts.size(); ++i) {
        file += '/';
        file += parts[i];
    }
    return file;
}

int SettingsStore::loadSetting(const std::string& fullPath, size_t byteCount, void* dest) const {
    const std::string file = fileFor(fullPath);
    if (file.empty()) {
        return -1;
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    std::vector<unsigned char> data(byteCount + 1);
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += size_t(n);
    }
    ::close(fd);
    if (got > byteCount) {
        return -1; // larger than the destination
    }
    std::memcpy(dest, data.data(), got);
    return 0;
}

int SettingsStore::saveSetting(const std::string& fullPath, const void* src, size_t byteCount) const {
    const std::string file = fileFor(fullPath);
    if (file.empty()) {
        return -1;
    }
    // Create the keys (folders) on the way, readable by the user alone.
    for (size_t pos = 1; (pos = file.find('/', pos)) != std::string::npos; ++pos) {
        if (!makeDir(file.substr(0, pos))) {
            return -1;
        }
    }
    std::string tmp = file + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return -1;
    }
    ::fchmod(fd, 0600);
    const auto* p = static_cast<const unsigned char*>(src);
    size_t done = 0;
    bool ok = true;
    while (done < byteCount) {
        const ssize_t n = ::write(fd, p + done, byteCount - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false;
            break;
        }
        done += size_t(n);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(name.data(), file.c_str()) != 0) {
        ::unlink(name.data());
        return -1;
    }
    return 0;
}
