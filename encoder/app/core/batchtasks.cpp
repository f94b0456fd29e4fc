#include "encoder/app/core/batchtasks.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

constexpr char kNbsp[] = "\xC2\xA0";

std::string num(long long v) { return std::to_string(v); }

std::string fixed6(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    return std::string(buf, r.ptr);
}

std::string two(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

// Reads the numbers after the texts the way the task format lays them out: integers and
// reals after optional blanks, and one-character flags that are 1 unless the character is
// '0'. Stops at the first piece that cannot be read.
class NumberScanner {
public:
    explicit NumberScanner(const std::string& s) : m_p(s.data()), m_end(s.data() + s.size()) {}

    bool integer(int32_t& out) {
        if (m_failed) {
            return false;
        }
        skipBlanks();
        int32_t v = 0;
        const char* p = m_p;
        if (p < m_end && *p == '+') {
            ++p;
        }
        const auto r = std::from_chars(p, m_end, v);
        if (r.ec != std::errc()) {
            m_failed = true;
            return false;
        }
        m_p = r.ptr;
        out = v;
        return true;
    }
    bool real(double& out) {
        if (m_failed) {
            return false;
        }
        skipBlanks();
        double v = 0;
        const auto r = std::from_chars(m_p, m_end, v);
        if (r.ec != std::errc()) {
            m_failed = true;
            return false;
        }
        m_p = r.ptr;
        out = v;
        return true;
    }
    bool flag(bool& out) {
        if (m_failed) {
            return false;
        }
        skipBlanks();
        if (m_p >= m_end) {
            m_failed = true;
            return false;
        }
        out = *m_p++ != '0';
        return true;
    }
    bool boolFromInt(bool& out) {
        int32_t v = 0;
        if (!integer(v)) {
            return false;
        }
        out = v != 0;
        return true;
    }

private:
    void skipBlanks() {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r' ||
                               *m_p == '\v' || *m_p == '\f')) {
            ++m_p;
        }
    }
    const char* m_p;
    const char* m_end;
    bool m_failed = false;
};

// The next space-separated token starting at pos; pos moves past the following spaces.
// False when no space follows the token.
bool nextToken(const std::string& line, size_t& pos, std::string& token) {
    const size_t space = line.find(' ', pos);
    if (space == std::string::npos) {
        return false;
    }
    token = line.substr(pos, space - pos);
    pos = line.find_first_not_of(' ', space);
    if (pos == std::string::npos) {
        pos = line.size();
    }
    return true;
}

} // namespace

std::string EncodeTaskText(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ') {
            out += kNbsp;
        } else if (c == '^') {
            out += "^^";
        } else if (c == '\n') {
            out += "^n";
        } else if (c == '\r') {
            out += "^r";
        } else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            out += '^';
            out += kNbsp;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string DecodeTaskText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '^' && i + 1 < text.size()) {
            const char n = text[i + 1];
            if (n == '^') {
                out += '^';
                ++i;
                continue;
            }
            if (n == 'n' || n == 'r') {
                out += n == 'n' ? '\n' : '\r';
                ++i;
                continue;
            }
            if (n == '\xC2' && i + 2 < text.size() && text[i + 2] == '\xA0') {
                out += kNbsp;
                i += 2;
                continue;
            }
            out += c;
        } else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            out += ' ';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string FormatTaskLine(const MainWindowFields& f, const EncodingParameters& p,
                           const std::tm& t) {
    const std::string A0 = kNbsp;
    std::string line;
    line += "Created:" + A0 + num(t.tm_year + 1900) + "-" + num(t.tm_mon + 1) + "-" +
            num(t.tm_mday) + A0 + "at" + A0 + two(t.tm_hour) + ":" + two(t.tm_min) + ":" +
            two(t.tm_sec) + "," + A0 + A0 + A0;
    line += "Format:" + A0 + num(p.nScreenWidth) + "x" + num(p.nScreenHeight) + A0 +
            num(p.nMaxFrameRate) + "fps" + A0 + num(p.nBytesTarget) + "bpf," + A0 + A0 + A0 +
            "Target" + A0 + "file:" + A0;
    const size_t slash = f.output_file.find_last_of('/');
    line += EncodeTaskText(slash == std::string::npos ? f.output_file : f.output_file.substr(slash + 1));
    line += std::string(35, ' ');
    line += num(f.encodemode) + " ";
    for (const std::string* text : {&f.source_file, &f.asource_file, &f.output_file, &f.dbname,
                                    &f.author, &f.title, &f.password}) {
        line += EncodeTaskText(*text) + ", ";
    }
    line += num(f.looping) + " " + num(f.holding) + " ";
    line += num(p.nScreenWidth) + " " + num(p.nScreenHeight) + " ";
    line += num(p.nColorDepth) + " " + num(p.fUseFastEncoding) + " " + num(p.fUseGrayscale) + " ";
    line += num(p.nBytesCeiling) + " " + num(p.nBytesTarget) + " " + num(p.nBytesFloor) + " " +
            num(p.fUncompressedVideo) + " ";
    line += num(p.nMaxFrameRate) + " " + num(p.nKeyFrameInterval) + " ";
    line += num(p.nFrameStart) + " " + num(p.nFrameEnd) + " ";
    line += fixed6(p.rCropFactor) + " " + fixed6(p.rBrightness) + " " + fixed6(p.rContrast) + " ";
    line += num(p.fFlipImageVertically) + " " + num(p.fFlipImageHorizontally) + " " +
            num(p.fRotateImageSideways) + " ";
    line += num(p.bAudioHifi) + " " + num(p.bUseADPCM) + " " + num(p.bEnablePrefilter) + " " +
            num(p.bAudioBoost) + " " + num(p.nAudioBoostVal) + " ";
    line += "\n";
    return line;
}

bool ParseTaskLine(const std::string& line, MainWindowFields& fields, EncodingParameters& params) {
    size_t pos = 0;
    std::string token;
    if (!nextToken(line, pos, token)) { // creation stamp, format and file name
        return false;
    }
    std::string mode;
    if (!nextToken(line, pos, mode)) {
        return false;
    }
    std::string texts[7];
    for (std::string& text : texts) {
        if (!nextToken(line, pos, token)) {
            return false;
        }
        if (!token.empty()) {
            token.pop_back(); // the comma
        }
        text = DecodeTaskText(token);
    }

    fields.encodemode = std::atoi(mode.c_str());
    fields.source_file = texts[0];
    fields.asource_file = texts[1];
    fields.output_file = texts[2];
    fields.dbname = texts[3];
    fields.author = texts[4];
    fields.title = texts[5];
    fields.password = texts[6];

    const std::string numbers = line.substr(pos);
    NumberScanner in(numbers);
    EncodingParameters& p = params;
    (void)(in.boolFromInt(fields.looping) && in.boolFromInt(fields.holding) &&
        in.integer(p.nScreenWidth) && in.integer(p.nScreenHeight) && in.integer(p.nColorDepth) &&
        in.flag(p.fUseFastEncoding) && in.flag(p.fUseGrayscale) && in.integer(p.nBytesCeiling) &&
        in.integer(p.nBytesTarget) && in.integer(p.nBytesFloor) && in.flag(p.fUncompressedVideo) &&
        in.integer(p.nMaxFrameRate) && in.integer(p.nKeyFrameInterval) &&
        in.integer(p.nFrameStart) && in.integer(p.nFrameEnd) && in.real(p.rCropFactor) &&
        in.real(p.rBrightness) && in.real(p.rContrast) && in.flag(p.fFlipImageVertically) &&
        in.flag(p.fFlipImageHorizontally) && in.flag(p.fRotateImageSideways) &&
        in.flag(p.bAudioHifi) && in.flag(p.bUseADPCM) && in.flag(p.bEnablePrefilter) &&
        in.flag(p.bAudioBoost) && in.integer(p.nAudioBoostVal));
    return true;
}

std::vector<std::string> ReadTaskFile(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '\r' || line[0] == '\0') {
            continue;
        }
        lines.push_back(line);
    }
    return lines;
}

bool WriteTaskFile(const std::string& path, const std::vector<std::string>& entries) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        for (const std::string& e : entries) {
            out << e;
            if (e.empty() || e.back() != '\n') {
                out << '\n';
            }
        }
        out.flush();
        if (!out) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

bool AppendTaskLine(const std::string& path, const std::string& line) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << line;
    if (line.empty() || line.back() != '\n') {
        out << '\n';
    }
    out.flush();
    return bool(out);
}
