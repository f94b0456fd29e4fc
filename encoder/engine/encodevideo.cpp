// EncodeVideoMovie: a movie with video in two passes over the chosen frames.
//
// Pass 1 fetches and prepares every output frame and, in the palette modes, counts its
// colours; the fixed-table modes look at the first frame only. The movie colour table and
// the colour lookup follow, then the movie header record. Pass 2 fetches and prepares every
// frame again, orients it, converts it to pixel codes and hands it with a byte budget to the
// frame coder, writing one record per frame. The audio records and the real record list
// come last. Every exit path ends in exactly one report: complete (0), stopped (2) or failed
// (4). The per-job buffers are locals of the job and are freed on every path before that
// report goes out.
#include "encoder/engine/movieencoder.h"

#include "encoder/codec/colorcount.h"
#include "encoder/codec/colorlookup.h"
#include "encoder/codec/framecoder.h"
#include "encoder/engine/engineparts.h"
#include "encoder/engine/enginetables.h"
#include "encoder/engine/frameconvert.h"
#include "encoder/engine/framerules.h"
#include "encoder/engine/picturestage.h"
#include "encoder/media/audioconv.h"
#include "encoder/media/streamsource.h"
#include "moviedb/moviedbwriter.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kMaxScreenWidth = OrbanwickMovieEncoder::kPreviewRowBytes;
constexpr int kMaxFrameRows = 720;

// Copies a top-down picture of width x rows codes into a preview buffer with 320-byte rows,
// bottom row first.
void CopyToPreview(const uint8_t* picture, int width, int rows, uint8_t* preview) {
    for (int r = 0; r < rows; ++r) {
        std::memcpy(preview + ptrdiff_t(rows - 1 - r) * kMaxScreenWidth,
                    picture + ptrdiff_t(r) * width, size_t(width));
    }
}

} // namespace

void OrbanwickMovieEncoder::EncodeVideoMovie(FILE* out, const char* dbname, int screenWidth,
                                             int screenHeight, int colorDepth, bool flipVertically,
                                             bool flipHorizontally, bool rotateSideways,
                                             float brightness, float contrast, int firstFrame,
                                             int endFrame) {
    VideoJobSettings s;
    s.screenWidth = screenWidth;
    s.screenHeight = screenHeight;
    s.colorDepth = colorDepth;
    s.flipVertically = flipVertically;
    s.flipHorizontally = flipHorizontally;
    s.rotateSideways = rotateSideways;
    s.brightness = brightness;
    s.contrast = contrast;
    s.firstFrame = firstFrame;
    s.endFrame = endFrame;
    const JobOutcome end = runVideoJob(out, dbname, s);
    m_tables->analysis.release();
    reportOutcome(end);
}

void OrbanwickMovieEncoder::reportOutcome(const JobOutcome& end) {
    switch (end.kind) {
    case JobOutcome::Complete:
        ReportProgress(kProgressComplete, 0, reinterpret_cast<intptr_t>(&m_completion));
        break;
    case JobOutcome::Stopped:
        ReportProgress(kProgressStopped, 0, 0);
        break;
    case JobOutcome::Failed:
        ReportProgress(kProgressFailed, 0, reinterpret_cast<intptr_t>(end.text));
        break;
    }
}

JobOutcome OrbanwickMovieEncoder::runVideoJob(FILE* out, const char* dbname,
                                              const VideoJobSettings& s) {
    if (!HasVideo()) {
        return JobOutcome::failed(kNoVideoText);
    }
    const quil::ColorModeProperties mode = quil::colorModeProperties(s.colorDepth, fUseGrayscale);
    const bool truecolor = mode.truecolor();
    const int frameRows = mode.pictureRows(s.screenHeight);
    if (s.screenWidth <= 0 || s.screenHeight <= 0 || s.screenWidth % 8 != 0 ||
        s.screenHeight % 8 != 0 || s.screenWidth > kMaxScreenWidth || frameRows > kMaxFrameRows) {
        return JobOutcome::failed(kScreenSizeText);
    }

    // Set-up.
    VideoStreamSource& video = *m_videoSource;
    const int sourceStart = video.GetStart();
    ProgressThrottle throttle(m_clock);
    std::vector<uint8_t> record(quil::FrameCoder::kPayloadBufferSize);

    PictureStage stage(s.rotateSideways ? s.screenHeight : s.screenWidth,
                       s.rotateSideways ? s.screenWidth : s.screenHeight);

    std::snprintf(m_completion.dbname, sizeof m_completion.dbname, "%s", dbname ? dbname : "");
    double qualitySum = 0.0;
    int framesCounted = 0;

    double fps = 0.0, step = 1.0;
    int frameCount = 0, audioRecords = 0;
    int first = s.firstFrame, end = s.endFrame;
    ComputeFrameRange(nMaxFrameRate, &fps, &frameCount, &step, &audioRecords, nullptr, &first, &end);
    const int F = frameCount;
    const int A = audioRecords;
    if (int64_t(F) + A + 1 > quil::kMaxRecords) {
        return JobOutcome::failed(kTooLongText);
    }

    const int32_t ceiling = nBytesCeiling;
    const int32_t floor = nBytesFloor;
    RateControl rate(nBytesTarget, ceiling);

    quil::MovieDbWriter writer(out);
    if (writer.begin(dbname ? dbname : "", quil::kDbTypeMovie, F + A + 1) != quil::MovieDbError::Ok) {
        return JobOutcome::failed(kWriteFailedText);
    }

        EngineTables& t = *m_tables;
    t.analysis.startAnalysis(mode.grid);

    auto sourceIndex = [&](int i) {
        return int(double(i + first) * step + double(sourceStart));
    };
    auto fetchAndPrepare = [&](int i) -> const char* {
        const int rc = stage.fetch(video, sourceIndex(i));
        if (rc != 0) {
            return video.GetErrorText(unsigned(rc));
        }
        if (!stage.placed()) {
            PixelRect dst;
            SourceRect src;
            ComputeFitRect(stage.sourceWidth(), stage.sourceHeight(), rCropFactor, &dst, &src,
                           stage.workWidth(), stage.workHeight());
            stage.setPlacement(dst, src);
        }
        stage.place(s.brightness, s.contrast);
        return nullptr;
    };

    // Pass 1: colour analysis.
    const bool fixedTable = mode.grayscale || truecolor;
    for (int i = 0; i < F; ++i) {
        if (stopRequested()) {
            return JobOutcome::stopped();
        }
        if (const char* text = fetchAndPrepare(i)) {
            return JobOutcome::failed(text);
        }
        if (fixedTable) {
            break;
        }
        t.analysis.countPicture(stage.pixels(), size_t(stage.workWidth()) * stage.workHeight(), i);
        if (throttle.due(i == F - 1)) {
            ReportProgress(kProgressAnalysis, 0, PackProgress(uint32_t(i + 1), uint32_t(F)));
        }
    }
    ReportProgress(kProgressAnalysis, 0, 0);
    quil::MovieColorTable& table = t.colors;
    if (fixedTable) {
        table = quil::fixedColorTable(mode);
    } else {
        table.fill(quil::ColorEntry{});
        t.analysis.finishAnalysis(F);
        t.analysis.buildPalette(table);
    }
    table[0] = quil::rgb(255, 255, 255);
    t.lookup.build(table, mode.grid);
    ReportProgress(kProgressEncoding, 0, PackProgress(0, uint32_t(F)));

    // Movie header record.
    const int g = KeyFrameInterval(fUncompressedVideo, nKeyFrameInterval, fps, F);
    const bool withAudio = HasAudio() && A > 0;
    HeaderRecordFields header;
    header.width = s.screenWidth;
    header.rows = frameRows;
    header.bitsPerPixel = mode.bitsPerPixel;
    header.audioFormat = audioFormatCode();
    header.colorMode = mode.colorModeCode;
    header.fps = fps;
    header.keyFrameInterval = g;
    header.loop = looping;
    header.hasAudio = withAudio;
    header.firstAudioRecord = F + 1;
    header.hold = holding;
    header.frameCount = F;
    header.title = title;
    header.author = author;
    if (WriteHeaderRecord(writer, header) != quil::MovieDbError::Ok) {
        return JobOutcome::failed(kWriteFailedText);
    }

    // Pass 2: encoding.
    const bool depthOrient = s.colorDepth > 23 && s.rotateSideways;
    const bool flipRows = s.flipVertically != depthOrient;
    const bool mirrorRows = s.flipHorizontally != (s.rotateSideways != depthOrient);
    std::vector<uint32_t> scratch(truecolor && s.rotateSideways
                                      ? size_t(s.screenWidth) * s.screenHeight
                                      : 0);
    uint8_t* const current = t.current.data();
    uint8_t* const reference[2] = {t.referenceA.data(), t.referenceB.data()};
    const size_t pictureBytes = size_t(s.screenWidth) * frameRows;
    quil::FrameCoder coder(s.screenWidth, frameRows, t.lookup);

    for (int i = 0; i < F; ++i) {
        if (stopRequested()) {
            return JobOutcome::stopped();
        }
        if (const char* text = fetchAndPrepare(i)) {
            return JobOutcome::failed(text);
        }
        stage.orient(flipRows, mirrorRows);
        const WorkingPicture work{stage.pixels(), stage.workWidth(), stage.workHeight()};
        if (truecolor) {
            ConvertToTruecolorCodes(work, s.rotateSideways, mode.truecolorVariant, s.screenWidth,
                                    s.screenHeight, scratch.data(), current);
        } else {
            ConvertToPaletteCodes(work, s.rotateSideways, t.lookup, s.screenWidth, s.screenHeight,
                                  current);
        }

        if (writer.beginRecord() != quil::MovieDbError::Ok) {
            return JobOutcome::failed(kWriteFailedText);
        }
        quil::FrameInput in;
        in.picture = current;
        in.written = reference[i & 1];
        in.other = i == 0 ? nullptr : reference[(i + 1) & 1];
        in.fUseFastEncoding = fUseFastEncoding;
        in.nBytesFloor = floor;
        in.nBytesCeiling = ceiling;
        in.budget = rate.budget();
        in.continuation = 0;
        in.frameIndex = i;
        in.keyFrameInterval = g;
        const quil::FrameCodeResult coded = coder.encodeFrame(record.data(), in);
        const int32_t length = int32_t(coded.length);
        rate.frameWritten(i, length);
        if (i == 0) {
            std::memcpy(reference[1], reference[0], pictureBytes);
        }
        if (writer.write({record.data(), coded.length}) != quil::MovieDbError::Ok) {
            return JobOutcome::failed(kWriteFailedText);
        }

        if (m_sourcePreview) {
            CopyToPreview(current, s.screenWidth, frameRows, m_sourcePreview);
        }
        if (m_compressedPreview) {
            CopyToPreview(reference[i & 1], s.screenWidth, frameRows, m_compressedPreview);
        }
        if (throttle.due(i == F - 1)) {
            const auto quality = uint32_t(std::lround(coded.quality * 10000.0));
            ReportProgress(kProgressEncoding, PackProgress(uint32_t(length), quality),
                           PackProgress(uint32_t(i + 1), uint32_t(F)));
        }
        qualitySum += coded.quality;
        ++framesCounted;
    }

    // Finish.
    ReportProgress(kProgressStreamDone, 0, 0);
    if (withAudio) {
        const int startMs = int(double(first) * 1000.0 / fps);
        const int rc = EncodeAudioRecords(out, A, writer.recordList(), F + 1, startMs);
        if (rc == kAudioRecordsWriteFailed) {
            return JobOutcome::failed(kWriteFailedText);
        }
        if (rc != 0) {
            return JobOutcome::stopped();
        }
    }
    const int64_t fileSize = writer.position();
    if (writer.finish() != quil::MovieDbError::Ok) {
        return JobOutcome::failed(kWriteFailedText);
    }
    m_completion.frameRate = fps;
    m_completion.meanQuality = framesCounted > 0 ? qualitySum / framesCounted : 0.0;
    m_completion.frameCount = framesCounted;
    m_completion.fileSize = int32_t(fileSize);
    return JobOutcome::complete();
}
