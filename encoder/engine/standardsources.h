// The program-wide candidate sources (video: AVI then QuickTime-style; audio likewise) and
// the MPEG sound preparation steps, as the encoder program and the command-line tool use
// them. One StandardSources lives for the whole run and serves every job.
#pragma once

#include "encoder/engine/encodingjob.h"

#include <functional>
#include <memory>
#include <string>

class StandardSources {
public:
    StandardSources();
    ~StandardSources();
    StandardSources(const StandardSources&) = delete;
    StandardSources& operator=(const StandardSources&) = delete;

    // Hands the candidate lists to the engine, in their order.
    void install(OrbanwickMovieEncoder& engine);

private:
    struct Lists;
    std::unique_ptr<Lists> m_lists;
};

// The MPEG probe, extraction and MP3 decoding, with their status lines sent to status.
MpegAudioTools StandardMpegAudioTools(std::function<void(const std::string&)> status);
