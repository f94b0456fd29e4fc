// Pieces of the engine shared by its own source files: the outcome of a job before it is
// reported, the settings a video job runs with, the fields of a movie header record, and
// the engine's message texts.
//
// The movie header record (moviedb) and the colour tables (codec) are kept in separate
// source files of the engine: headerrecord.cpp is the only one that sees MovieHeader.
#pragma once

#include <cstdint>
#include <string>

namespace quil {
class MovieDbWriter;
enum class MovieDbError;
}

struct JobOutcome {
    enum Kind { Complete, Stopped, Failed } kind = Complete;
    const char* text = nullptr; // Failed only

    static JobOutcome complete() { return {Complete, nullptr}; }
    static JobOutcome stopped() { return {Stopped, nullptr}; }
    static JobOutcome failed(const char* message) { return {Failed, message}; }
};

struct VideoJobSettings {
    int screenWidth = 320;
    int screenHeight = 240;
    int colorDepth = 25;
    bool flipVertically = false;
    bool flipHorizontally = false;
    bool rotateSideways = false;
    float brightness = 0.0f;
    float contrast = 0.0f;
    int firstFrame = 0;
    int endFrame = 0;
};

// What the engine puts into a movie header record.
struct HeaderRecordFields {
    bool audioOnly = false;
    int width = 0;
    int rows = 0;
    int bitsPerPixel = 0;
    int audioFormat = 0;
    int colorMode = 0;
    double fps = 10.0;
    int keyFrameInterval = 0;
    bool loop = false;
    bool hasAudio = false;
    bool hold = false;
    int frameCount = 0; // audio-only movies: playing time in tenths of a second
    int firstAudioRecord = 0;
    std::string title;
    std::string author;
};

// Record 0 through the writer.
quil::MovieDbError WriteHeaderRecord(quil::MovieDbWriter& writer, const HeaderRecordFields& fields);

inline constexpr const char* kWriteFailedText = "Unable to write to the output file.";
inline constexpr const char* kTooLongText =
    "Output file is too long.  Completed Quillreel (Video frames + Audio blocks) cannot exceed "
    "65536 records.  Try breaking up the source movie or encoding at a lower frame rate.";
inline constexpr const char* kNoVideoText =
    "The source video file you have selected has no video and cannot be used as the encoding "
    "source.";
inline constexpr const char* kNoAudioText =
    "The source audio file you have selected has no audio and cannot be used as the encoding "
    "source.";
inline constexpr const char* kScreenSizeText =
    "The screen size must be a multiple of 8 pixels, at most 320 pixels wide and 720 stored rows "
    "high.";
