// What the engine's job tests share: an engine that records every report (copying the
// texts and the completion record, which are only valid during the call) and runs on a
// clock that ticks once per look so every frame's report is due, a temporary output file,
// and a movie reader.
#pragma once

#include "encoder/engine/movieencoder.h"
#include "moviedb/moviedbreader.h"
#include "moviedb/movieheader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

struct Report {
    int code;
    intptr_t a;
    intptr_t b;
    std::string text; // codes 3 and 4
};

class RecordingEngine : public OrbanwickMovieEncoder {
public:
    std::vector<Report> reports;
    CompletionRecord completion;
    std::function<void(const Report&)> onReport;
    int64_t now = 1000;

    RecordingEngine() {
        SetClock([this] { return now++; });
    }

    void ReportProgress(int code, intptr_t a, intptr_t b) override {
        Report r{code, a, b, {}};
        if ((code == kProgressFailed || code == kProgressWarning) && b != 0) {
            r.text = reinterpret_cast<const char*>(b);
        }
        if (code == kProgressComplete) {
            completion = *reinterpret_cast<const CompletionRecord*>(b);
        }
        reports.push_back(r);
        if (onReport) {
            onReport(reports.back());
        }
    }

    std::vector<int> codes() const {
        std::vector<int> out;
        for (const Report& r : reports) {
            out.push_back(r.code);
        }
        return out;
    }
    int count(int code) const {
        int n = 0;
        for (const Report& r : reports) {
            n += r.code == code;
        }
        return n;
    }
};

// A file in the temporary directory, removed at the end of the test.
class TempMovie {
public:
    TempMovie() {
        char name[] = "/tmp/quil_engine_XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) {
            close(fd);
        }
        m_path = name;
    }
    ~TempMovie() { std::remove(m_path.c_str()); }
    const std::string& path() const { return m_path; }

    FILE* openForWriting() { return std::fopen(m_path.c_str(), "wb"); }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out;
        if (FILE* f = std::fopen(m_path.c_str(), "rb")) {
            uint8_t buf[65536];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
                out.insert(out.end(), buf, buf + n);
            }
            std::fclose(f);
        }
        return out;
    }

private:
    std::string m_path;
};

inline uint16_t ReadU16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
