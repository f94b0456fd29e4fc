#include "encoder/app/core/cmdline.h"

#include <cctype>

PresetSwitch ParsePresetSwitch(const std::string& cmd) {
    PresetSwitch out;
    const size_t at = cmd.find(" /p\"");
    if (at == std::string::npos) {
        return out;
    }
    const size_t firstStart = at + 4;
    const size_t firstEnd = cmd.find('"', firstStart);
    if (firstEnd == std::string::npos) {
        return out;
    }
    out.source = cmd.substr(firstStart, firstEnd - firstStart);
    const size_t secondStart = firstEnd + 3;
    if (secondStart > cmd.size()) {
        return out;
    }
    const size_t secondEnd = cmd.find('"', secondStart);
    if (secondEnd == std::string::npos) {
        return out;
    }
    out.output = cmd.substr(secondStart, secondEnd - secondStart);
    const size_t sep = cmd.find("\",\"", secondStart);
    if (sep == std::string::npos) {
        return out;
    }
    const size_t thirdStart = sep + 3;
    const size_t thirdEnd = cmd.find('"', thirdStart);
    if (thirdEnd != std::string::npos) {
        out.name = cmd.substr(thirdStart, thirdEnd - thirdStart);
    }
    return out;
}

bool HasUnattendedSwitch(const std::string& cmd) { return cmd.find(" /r") != std::string::npos; }

bool HasQuitSwitch(const std::string& cmd) { return cmd.find(" /x") != std::string::npos; }

namespace {

// "/p", "/r", "/x" and the like; a path that starts with '/' is not one.
bool isSwitch(const std::string& arg) {
    return arg.size() == 2 && arg[0] == '/' && std::isalpha(static_cast<unsigned char>(arg[1]));
}

} // namespace

std::string JoinCommandLine(const std::vector<std::string>& args) {
    std::string cmd;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) {
            cmd += ' ';
        }
        if (args[i] == "/p" && i + 1 < args.size()) {
            // "/p" then the quoted strings, with no space between the switch and the quote.
            cmd += "/p\"";
            const std::string& next = args[i + 1];
            const bool alreadyQuoted = next.find("\",\"") != std::string::npos ||
                                       (!next.empty() && next.front() == '"');
            if (alreadyQuoted) {
                cmd += next.front() == '"' ? next.substr(1) : next;
                if (next.empty() || next.back() != '"') {
                    cmd += '"';
                }
                i += 1;
            } else {
                size_t n = 0;
                while (n < 3 && i + 1 < args.size() && !isSwitch(args[i + 1])) {
                    if (n > 0) {
                        cmd += "\",\"";
                    }
                    cmd += args[++i];
                    ++n;
                }
                cmd += '"';
            }
            continue;
        }
        cmd += args[i];
    }
    return cmd;
}
