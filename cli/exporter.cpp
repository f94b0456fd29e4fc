#include "cli/exporter.h"

#include "cli/imagefiles.h"
#include "moviedb/display_tables.h"
#include "player/core/framedecoder.h"
#include "player/core/layout.h"
#include "player/core/movie.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace quil::cli {

namespace {

// Answers the player's password question from --password, or on a terminal.
class ExportPrompt : public PlayerPrompt {
public:
    ExportPrompt(std::optional<std::string> password, std::ostream& err)
        : m_password(std::move(password)), m_err(err) {}
    void showMessage(const std::string& text, const std::string& caption, PromptIcon) override {
        m_err << caption << ": " << text << "\n";
        m_wrong = true;
    }
    std::optional<std::string> askPassword(const std::string& text) override {
        if (m_password) {
            if (m_used) {
                return std::nullopt;
            }
            m_used = true;
            return m_password;
        }
        if (!::isatty(0)) {
            m_err << "The movie is password-protected; give it with --password.\n";
            return std::nullopt;
        }
        m_err << text << "\nPassword: " << std::flush;
        termios old{};
        const bool tty = ::tcgetattr(0, &old) == 0;
        if (tty) {
            termios quiet = old;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            ::tcsetattr(0, TCSANOW, &quiet);
        }
        std::string line;
        std::getline(std::cin, line);
        if (tty) {
            ::tcsetattr(0, TCSANOW, &old);
        }
        m_err << "\n";
        if (line.empty()) {
            return std::nullopt;
        }
        return line.substr(0, kMaxPasswordLength);
    }
    bool wasWrong() const { return m_wrong; }

private:
    std::optional<std::string> m_password;
    std::ostream& m_err;
    bool m_used = false;
    bool m_wrong = false;
};

// Frame n of the movie as display colours, w x h pixels.
bool framePixels(Movie& movie, int frame, std::vector<uint8_t>& codes, std::vector<uint32_t>& out,
                 int w, int h) {
    const int width = movie.width();
    const int rows = movie.rows();
    codes.assign(size_t(width) * size_t(rows), 0);
    if (!movie.showFrame(frame, codes.data(), width)) {
        return false;
    }
    out.assign(size_t(w) * size_t(h), 0);
    if (movie.isTruecolor()) {
        convertTruecolorToRgb32(codes.data(), width, h, movie.truecolorVariant(), out.data(), width);
    } else {
        const auto& colors = movie.colorTable();
        for (size_t i = 0; i < out.size(); ++i) {
            out[i] = colors[codes[i]];
        }
    }
    return true;
}

} // namespace

int RunExport(const ExportOptions& o, std::ostream& out, std::ostream& err) {
    ExportPrompt prompt(o.password, err);
    Movie movie(prompt);
    if (!movie.Load(o.movie)) {
        err << "quillreel export: " << o.movie
            << (prompt.wasWrong() || o.password ? ": the password does not unlock the movie\n"
                                                : ": not a movie that can be played\n");
        return 1;
    }
    bool ok = true;
    int w = 0, h = 0;
    pictureSize(movie.width(), movie.rows(), movie.isTruecolor(), movie.hasFrames(), w, h);
    std::vector<uint8_t> codes;
    std::vector<uint32_t> pixels;

    if (!o.framesDir.empty() && movie.hasFrames()) {
        std::error_code ec;
        std::filesystem::create_directories(o.framesDir, ec);
        int written = 0;
        for (int f = 0; f < movie.frameCount(); ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "frame-%05d.png", f);
            const std::string path = (std::filesystem::path(o.framesDir) / name).string();
            if (!framePixels(movie, f, codes, pixels, w, h)) {
                err << "quillreel export: frame " << f << " cannot be decoded\n";
                ok = false;
                continue;
            }
            if (!WritePng(path, w, h, pixels)) {
                err << "quillreel export: cannot write " << path << "\n";
                return 1;
            }
            ++written;
        }
        out << "frames: " << written << " of " << movie.frameCount() << " written to " << o.framesDir
            << " (" << w << "x" << h << ")\n";
    } else if (!o.framesDir.empty()) {
        out << "frames: the movie has no pictures\n";
    }

    if (!o.sheetPath.empty() && movie.hasFrames()) {
        const int count = std::max(1, std::min(o.sheetFrames, movie.frameCount()));
        const int columns = std::max(1, std::min(o.sheetColumns, count));
        const int sheetRows = (count + columns - 1) / columns;
        const int gap = 4;
        const int sw = columns * w + (columns + 1) * gap;
        const int sh = sheetRows * h + (sheetRows + 1) * gap;
        std::vector<uint32_t> sheet(size_t(sw) * size_t(sh), 0x202020);
        for (int i = 0; i < count; ++i) {
            const int f = count == 1 ? 0 : int(int64_t(i) * (movie.frameCount() - 1) / (count - 1));
            if (!framePixels(movie, f, codes, pixels, w, h)) {
                ok = false;
                continue;
            }
            const int x0 = gap + (i % columns) * (w + gap);
            const int y0 = gap + (i / columns) * (h + gap);
            for (int y = 0; y < h; ++y) {
                std::copy_n(pixels.data() + size_t(y) * size_t(w), w,
                            sheet.data() + size_t(y0 + y) * size_t(sw) + size_t(x0));
            }
        }
        if (!WritePng(o.sheetPath, sw, sh, sheet)) {
            err << "quillreel export: cannot write " << o.sheetPath << "\n";
            return 1;
        }
        out << "contact sheet: " << count << " frames in " << o.sheetPath << "\n";
    }

    if (!o.wavPath.empty()) {
        if (!movie.hasAudio()) {
            out << "sound: the movie has no sound\n";
        } else {
            WavWriter wav;
            if (!wav.open(o.wavPath, movie.audioSamplesPerSecond())) {
                err << "quillreel export: cannot write " << o.wavPath << "\n";
                return 1;
            }
            movie.SeekAudio(0);
            std::vector<int16_t> buf(8192);
            int64_t total = 0;
            for (int n; (n = movie.decodeAudio(buf.data(), int(buf.size()))) > 0;) {
                wav.write(buf.data(), size_t(n));
                total += n;
            }
            if (!wav.finish()) {
                err << "quillreel export: cannot write " << o.wavPath << "\n";
                return 1;
            }
            out << "sound: " << total << " samples at " << movie.audioSamplesPerSecond()
                << " per second written to " << o.wavPath << "\n";
        }
    }
    return ok ? 0 : 1;
}

} // namespace quil::cli
