#include "cli/encodesession.h"

#include "encoder/app/core/choices.h"
#include "encoder/engine/playbackpassword.h"
#include "encoder/engine/standardsources.h"
#include "moviedb/muldiv.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace quil::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onInterrupt(int) { g_interrupted.store(true); }

std::string lower(std::string s) {
    for (char& c : s) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string trim(const char* s) {
    std::string t = s;
    const size_t a = t.find_first_not_of(' ');
    const size_t b = t.find_last_not_of(' ');
    return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
}

bool parseInt(const std::string& s, int& out) {
    if (s.empty()) {
        return false;
    }
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (*end != '\0' || v < 0 || v > 1000000) {
        return false;
    }
    out = int(v);
    return true;
}

std::string jsonText(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string clock(double seconds) {
    if (seconds < 0 || seconds > 359999) {
        return "--:--";
    }
    const long s = long(seconds + 0.5);
    char buf[32];
    if (s >= 3600) {
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    }
    return buf;
}

enum class Display { Bar, Lines, Json, None };

// Messages on standard error with their captions; questions answered by -y / -n or, on a
// terminal, by the user.
class CliPrompt : public Prompt {
public:
    CliPrompt(bool yes, bool no) : m_yes(yes), m_no(no) {}
    void showMessage(const std::string& caption, const std::string& text, PromptIcon) override {
        std::cerr << caption << ": " << text << "\n";
    }
    bool askOkCancel(const std::string& caption, const std::string& text, PromptIcon) override {
        if (m_yes) {
            return true;
        }
        if (!m_no && ::isatty(0) && ::isatty(2)) {
            std::cerr << caption << ": " << text << " [y/N] " << std::flush;
            std::string answer;
            std::getline(std::cin, answer);
            return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
        }
        std::cerr << caption << ": " << text << " No (the output file exists; -y overwrites it)\n";
        return false;
    }
    std::optional<std::string> askPassword(const std::string&, const std::string&, int) override {
        return std::nullopt;
    }

private:
    bool m_yes, m_no;
};

// Shows the job's progress on the 0-1500 scale of the encoder window, with the frame rate
// of the encoding pass and the time left.
class ProgressDisplay {
public:
    ProgressDisplay(Display display, int mode) : m_display(display), m_mode(mode) {}

    void setRange(int range) { m_range = range; }
    void status(const std::string& text) {
        std::lock_guard lock(m_mutex);
        if (m_display == Display::Lines) {
            std::cerr << text << "\n";
        } else if (m_display == Display::Json) {
            std::cout << "{\"event\":\"status\",\"text\":" << jsonText(text) << "}\n" << std::flush;
        } else if (m_display == Display::Bar) {
            m_label = text;
            draw();
        }
    }
    void message(const std::string& caption, const std::string& text) {
        std::lock_guard lock(m_mutex);
        clearBar();
        std::cerr << caption << ": " << text << "\n";
        if (m_display == Display::Json) {
            std::cout << "{\"event\":\"message\",\"caption\":" << jsonText(caption)
                      << ",\"text\":" << jsonText(text) << "}\n" << std::flush;
        }
    }
    void analysis(int frame, int count) {
        update(frame == 0 ? 200 : MulDiv(frame, 200, count),
               frame == 0 ? "Translating colors"
                          : "Analyzing frame " + std::to_string(frame) + "/" + std::to_string(count),
               "analysis", frame, count, 0.0);
    }
    void frame(int frame, int count) {
        const auto now = std::chrono::steady_clock::now();
        if (!m_encodeStarted) {
            m_encodeStarted = true;
            m_encodeStart = now;
            m_framesAtStart = frame;
        }
        const double elapsed = std::chrono::duration<double>(now - m_encodeStart).count();
        const double fps = elapsed > 0.5 ? (frame - m_framesAtStart) / elapsed : 0.0;
        const int scale = (m_mode == kEncodeVideoOnly) ? 1300 : 1000;
        update(200 + MulDiv(frame, scale, count),
               "Encoded frame " + std::to_string(frame) + "/" + std::to_string(count), "encode",
               frame, count, fps);
    }
    void audio(int done, int count) {
        update(m_mode == kEncodeAudioOnly ? MulDiv(done, 1500, count) : 1200 + MulDiv(done, 300, count),
               "Encoded " + std::to_string(done) + "/" + std::to_string(count) + " audio blocks",
               "audio", done, count, 0.0);
    }
    void finish() {
        std::lock_guard lock(m_mutex);
        clearBar();
    }

private:
    int range() const {
        return (m_mode == kEncodeVideoOnly || m_mode == kEncodeAudioOnly) ? 1500 : m_range;
    }
    void update(int position, const std::string& label, const char* phase, int done, int count,
                double fps) {
        std::lock_guard lock(m_mutex);
        const auto now = std::chrono::steady_clock::now();
        if (!m_started) {
            m_started = true;
            m_start = now;
        }
        m_position = std::min(position, range());
        m_label = label;
        m_fps = fps;
        const double fraction = double(m_position) / range();
        const double elapsed = std::chrono::duration<double>(now - m_start).count();
        m_left = fraction > 0.02 ? elapsed * (1.0 - fraction) / fraction : -1.0;
        switch (m_display) {
        case Display::Bar:
            draw();
            break;
        case Display::Lines: {
            char buf[256];
            std::snprintf(buf, sizeof buf, "%5.1f%%  %s", fraction * 100.0, label.c_str());
            std::cerr << buf;
            if (fps > 0) {
                std::fprintf(stderr, "  %.1f fps", fps);
                std::cerr << std::flush;
            }
            if (m_left >= 0) {
                std::cerr << "  " << clock(m_left) << " left";
            }
            std::cerr << "\n";
            break;
        }
        case Display::Json: {
            char buf[512];
            std::snprintf(buf, sizeof buf,
                          "{\"event\":\"progress\",\"phase\":\"%s\",\"percent\":%.1f,\"done\":%d,"
                          "\"count\":%d,\"fps\":%.2f,\"seconds_left\":%.1f}",
                          phase, fraction * 100.0, done, count, fps, m_left);
            std::cout << buf << "\n" << std::flush;
            break;
        }
        case Display::None:
            break;
        }
    }
    void draw() {
        const int width = 30;
        const double fraction = range() > 0 ? double(m_position) / range() : 0.0;
        const int filled = int(fraction * width + 0.5);
        std::string bar = "\r[" + std::string(size_t(filled), '#') + std::string(size_t(width - filled), '-') + "]";
        char buf[64];
        std::snprintf(buf, sizeof buf, " %3d%%", int(fraction * 100.0));
        bar += buf;
        bar += "  " + m_label;
        if (m_fps > 0) {
            std::snprintf(buf, sizeof buf, "  %.1f fps", m_fps);
            bar += buf;
        }
        if (m_left >= 0) {
            bar += "  " + clock(m_left) + " left";
        }
        std::cerr << bar << "\033[K" << std::flush;
        m_barShown = true;
    }
    void clearBar() {
        if (m_barShown) {
            std::cerr << "\r\033[K" << std::flush;
            m_barShown = false;
        }
    }

    std::mutex m_mutex;
    Display m_display;
    int m_mode;
    int m_range = 1200;
    int m_position = 0;
    std::string m_label;
    double m_fps = 0, m_left = -1;
    bool m_started = false, m_encodeStarted = false, m_barShown = false;
    int m_framesAtStart = 0;
    std::chrono::steady_clock::time_point m_start, m_encodeStart;
};

class CliHost : public JobHost {
public:
    CliHost(CliPrompt& prompt, ProgressDisplay& display) : m_prompt(prompt), m_display(display) {}
    Prompt& prompt() override { return m_prompt; }
    void refuse(const std::string& caption, const std::string& text) override {
        m_display.message(caption, text);
    }
    void setStatusLine(const std::string& text) override {
        if (!text.empty()) {
            m_display.status(text);
        }
    }
    void setControlsEnabled(bool) override {}
    void setProgressRange(int maximum) override { m_display.setRange(maximum); }

private:
    CliPrompt& m_prompt;
    ProgressDisplay& m_display;
};

enum class Outcome { Running, Complete, Stopped, Failed };

// The engine as the tool sees it: every report goes to the display; the completion report
// closes the file and applies the password while the worker waits, as the window does.
class CliEngine : public OrbanwickMovieEncoder {
public:
    ProgressDisplay* display = nullptr;
    EncodingJob* job = nullptr;
    JobFields fields;
    Outcome outcome = Outcome::Running;
    CompletionRecord completion;

    void ReportProgress(int code, intptr_t v1, intptr_t v2) override {
        switch (code) {
        case kProgressComplete: {
            job->closeOutput();
            const std::string error =
                ApplyPlaybackPassword(fields.output_file, fields.password, fields.encodemode);
            if (!error.empty()) {
                display->message("Quillreel Encoder Error", error);
                outcome = Outcome::Failed;
            } else {
                outcome = Outcome::Complete;
            }
            if (v2) {
                completion = *reinterpret_cast<const CompletionRecord*>(v2);
            }
            break;
        }
        case kProgressStopped:
            outcome = Outcome::Stopped;
            display->message("Quillreel Encoder", "Encoding process stopped.");
            break;
        case kProgressWarning:
            display->message("Quillreel Encoder Warning", reinterpret_cast<const char*>(v2));
            break;
        case kProgressFailed:
            outcome = Outcome::Failed;
            display->message("Quillreel Encoder Error", reinterpret_cast<const char*>(v2));
            break;
        case kProgressAudio:
            display->audio(int(v1), int(v2));
            break;
        case kProgressAnalysis:
            display->analysis(int(v2 & 0xFFFF), int((v2 >> 16) & 0xFFFF));
            break;
        case kProgressEncoding:
            if (v2 & 0xFFFF) {
                display->frame(int(v2 & 0xFFFF), int((v2 >> 16) & 0xFFFF));
            }
            break;
        default:
            break;
        }
    }
};

std::string defaultName(const std::string& output) {
    std::string stem = std::filesystem::path(output).stem().string();
    if (stem.empty()) {
        stem = "Unnamed movie";
    }
    if (stem.size() > 30) {
        size_t n = 30;
        while (n > 0 && (static_cast<unsigned char>(stem[n]) & 0xC0) == 0x80) {
            --n;
        }
        stem.resize(n);
    }
    return stem;
}

} // namespace

std::string PresetHelp() {
    std::string text;
    for (const SamplePreset& p : kSamplePresets) {
        text += std::string("  ") + p.text + "\n";
    }
    return text;
}

bool BuildSettings(const EncodeOptions& o, JobFields& f, EncodingParameters& p, std::string& error) {
    f = o.fields;
    p = o.params;
    if (!o.preset.empty()) {
        int n = 0;
        std::optional<size_t> index;
        if (parseInt(o.preset, n) && n >= 1 && n <= int(kSamplePresets.size())) {
            index = size_t(n - 1);
        } else {
            for (size_t i = 0; i < kSamplePresets.size(); ++i) {
                if (lower(kSamplePresets[i].text).find(lower(o.preset)) != std::string::npos) {
                    if (index) {
                        error = "the preset name \"" + o.preset + "\" fits more than one preset";
                        return false;
                    }
                    index = i;
                }
            }
        }
        if (!index) {
            error = "unknown preset \"" + o.preset + "\" (give 1 to 9 or a part of its name)";
            return false;
        }
        ApplySamplePreset(p, *index);
    }
    if (!o.screen.empty()) {
        bool found = false;
        for (const ScreenSizeChoice& s : kScreenSizes) {
            if (lower(o.screen) == std::to_string(s.width) + "x" + std::to_string(s.height)) {
                p.nScreenWidth = s.width;
                p.nScreenHeight = s.height;
                found = true;
            }
        }
        if (!found) {
            error = "unknown screen size \"" + o.screen + "\" (160x160, 320x240, 320x320 or 216x384)";
            return false;
        }
    }
    if (!o.color.empty()) {
        std::string c = lower(o.color);
        for (char& ch : c) {
            if (ch == '_' || ch == ' ') {
                ch = '-';
            }
        }
        bool found = false;
        for (const ColorModeChoice& m : kColorModes) {
            std::string name = lower(trim(m.text));
            for (char& ch : name) {
                if (ch == ' ') {
                    ch = '-';
                }
            }
            // "Std Color Palette" answers to std-color-palette and std-palette alike.
            std::string shortName = name;
            const size_t colorWord = shortName.find("color-");
            if (colorWord != std::string::npos && shortName != "truecolor" &&
                shortName.rfind("truecolor", 0) != 0) {
                shortName.erase(colorWord, 6);
            }
            if (c == name || c == shortName) {
                p.nColorDepth = m.nColorDepth;
                p.fUseGrayscale = m.fUseGrayscale;
                found = true;
            }
        }
        if (!found) {
            error = "unknown colour mode \"" + o.color +
                    "\" (grayscale, std-palette, ext-palette, truecolor or truecolor-plus)";
            return false;
        }
    }
    if (o.uncompressed) {
        p.fUncompressedVideo = true;
    }
    if (o.fast) {
        p.fUseFastEncoding = true;
    }
    if (o.targetOption && o.targetOption->count() > 0) {
        p.nBytesTarget = o.target;
    }
    if (!o.preset.empty() || (o.targetOption && o.targetOption->count() > 0)) {
        p.nBytesCeiling = std::min(9000, p.nBytesTarget * 2);
        p.nBytesFloor = p.nBytesTarget / 2;
    }
    if (o.floorOption && o.floorOption->count() > 0) {
        p.nBytesFloor = o.floor;
    }
    if (o.ceilingOption && o.ceilingOption->count() > 0) {
        p.nBytesCeiling = o.ceiling;
    }
    if (!o.fps.empty()) {
        int n = 0;
        if (lower(o.fps) == "auto") {
            p.nMaxFrameRate = 0;
        } else if (parseInt(o.fps, n) && n >= 1 && n <= 100) {
            p.nMaxFrameRate = n;
        } else {
            error = "the frame rate must be 1 to 100 or auto, not \"" + o.fps + "\"";
            return false;
        }
    }
    if (!o.seek.empty()) {
        const std::string s = lower(o.seek);
        int n = -1;
        for (const SeekPointChoice& c : kSeekPoints) {
            const std::string word = lower(trim(c.text)).substr(0, lower(trim(c.text)).find(' '));
            if (s == word || s == std::to_string(c.seconds)) {
                n = c.seconds;
            }
        }
        if (n < 0 && !(parseInt(s, n) && n <= 3600)) {
            error = "seek points must be none, max, high, med, low, min or seconds, not \"" + o.seek + "\"";
            return false;
        }
        p.nKeyFrameInterval = n;
    }
    if (o.boostOption && o.boostOption->count() > 0) {
        p.bAudioBoost = true;
        p.nAudioBoostVal = o.boost;
    }

    if (o.audioOnly) {
        f.encodemode = kEncodeAudioOnly;
        f.source_file.clear();
        f.asource_file = o.audio.empty() ? o.input : o.audio;
    } else if (o.videoOnly) {
        f.encodemode = kEncodeVideoOnly;
        f.source_file = o.input;
        f.asource_file.clear();
    } else if (!o.audio.empty()) {
        f.encodemode = kEncodeVideoSeparateAudio;
        f.source_file = o.input;
        f.asource_file = o.audio;
    } else {
        f.encodemode = kEncodeVideoWithAudio;
        f.source_file = o.input;
        f.asource_file.clear();
    }
    if (f.dbname.empty()) {
        f.dbname = defaultName(f.output_file);
    }
    return true;
}

int RunEncode(const EncodeOptions& o) {
    JobFields fields;
    EncodingParameters params;
    std::string error;
    if (!BuildSettings(o, fields, params, error)) {
        std::cerr << "quillreel encode: " << error << "\n";
        return 2;
    }
    Display display = Display::Lines;
    if (o.progress == "bar" || (o.progress == "auto" && ::isatty(2))) {
        display = Display::Bar;
    } else if (o.progress == "json") {
        display = Display::Json;
    } else if (o.progress == "none") {
        display = Display::None;
    }

    ProgressDisplay progress(display, fields.encodemode);
    CliPrompt prompt(o.overwrite, o.neverOverwrite);
    CliHost host(prompt, progress);
    CliEngine engine;
    static_cast<EncodingParameters&>(engine) = params;
    StandardSources sources;
    sources.install(engine);
    EncodingJob job(engine, host,
                    StandardMpegAudioTools([&progress](const std::string& line) { progress.status(line); }));
    engine.display = &progress;
    engine.job = &job;
    engine.fields = fields;

    g_interrupted.store(false);
    struct sigaction action {};
    struct sigaction oldInt {}, oldTerm {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);

    JobFields started = fields;
    if (job.start(started, false, false)) {
        engine.fields = started;
        bool stopping = false;
        while (job.running()) {
            if (g_interrupted.load() && !stopping) {
                stopping = true;
                progress.message("Quillreel Encoder", "Stopping...");
                job.requestStop();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        job.wait();
        if (stopping && engine.outcome == Outcome::Running) {
            engine.outcome = Outcome::Stopped;
        }
    } else if (engine.outcome == Outcome::Running) {
        engine.outcome = Outcome::Failed;
    }
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
    progress.finish();

    switch (engine.outcome) {
    case Outcome::Complete: {
        const CompletionTexts t = FormatCompletion(engine.completion, started.encodemode);
        if (display == Display::Json) {
            std::cout << "{\"event\":\"complete\",\"name\":" << jsonText(t.name)
                      << ",\"size\":" << jsonText(t.size) << ",\"time\":" << jsonText(t.time)
                      << ",\"rate\":" << jsonText(t.rate) << ",\"quality\":" << jsonText(t.quality)
                      << ",\"frames\":" << engine.completion.frameCount
                      << ",\"bytes\":" << engine.completion.fileSize << "}\n";
        } else {
            std::cout << "Quillreel Encoding Complete\n"
                      << "  Database name:       " << t.name << "\n"
                      << "  Total database size: " << t.size << "\n"
                      << "  Total time:          " << t.time << "\n"
                      << "  Frame rate:          " << t.rate << "\n"
                      << "  Average quality:     " << t.quality << "\n";
        }
        return 0;
    }
    case Outcome::Stopped:
        return 130;
    default:
        return 1;
    }
}

} // namespace quil::cli
