// OrbanwickMovieEncoder: the encoding engine. It holds the settings (as the public fields of
// EncodingParameters), the open sources, the frame buffers and tables that live for the
// whole run, and runs one job at a time: EncodeVideoMovie (two passes over the frames, then
// the audio records) or EncodeAudioMovie. Its only outward channel is ReportProgress, which
// a subclass replaces to reach a window; the base does nothing. Nothing throws out of the
// engine: every outcome of a job is one report (complete, stopped or failed).
//
// Threads: a job runs on one worker thread; while it runs, other threads may only call
// RequestStop. Report values that carry an address (codes 0, 3, 4) point at data that stays
// valid for the duration of the ReportProgress call.
#pragma once

#include "encoder/engine/params.h"
#include "encoder/engine/previewbitmap.h"
#include "encoder/engine/progress.h"

#include "moviedb/moviedb.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

class AudioStreamSource;
class VideoStreamSource;
struct EngineTables;
struct JobOutcome;
struct PixelRect;
struct SourceRect;
struct VideoJobSettings;

class OrbanwickMovieEncoder : public EncodingParameters {
public:
    // Size of each frame buffer and of each preview buffer: 320-byte rows, up to 720 rows.
    static constexpr int kFrameBufferBytes = 230400;
    static constexpr int kPreviewRowBytes = 320;

    OrbanwickMovieEncoder();
    virtual ~OrbanwickMovieEncoder();
    OrbanwickMovieEncoder(const OrbanwickMovieEncoder&) = delete;
    OrbanwickMovieEncoder& operator=(const OrbanwickMovieEncoder&) = delete;

    virtual AudioStreamSource* GetAudioSource();
    virtual VideoStreamSource* GetVideoSource();
    // Closes and forgets both sources.
    virtual void CloseSources();
    // Opens each path with the candidates of its list, in list order, keeping the first that
    // succeeds. An empty path opens nothing. Returns nullptr on success, else a message text
    // owned by the engine or a source (valid until the next source operation).
    virtual const char* OpenSources(const char* audioFile, const char* videoFile);
    virtual bool HasAudio();
    virtual bool HasVideo();
    // Output rate, frame count, step (source frames per output frame) and audio record count
    // for the requested rate, and the range [*firstFrame, *endFrame) converted from source
    // frames to output frames. nativeFps may be null. Needs an open video source.
    virtual void ComputeFrameRange(int requestedFps, double* fps, int* frameCount, double* step,
                                   int* audioRecordCount, int* nativeFps, int* firstFrame,
                                   int* endFrame);
    // Placement of a source picture in a target screen (see ComputeFitRect in vbitmap.h).
    virtual void ComputeFitRect(int sourceWidth, int sourceHeight, double cropFactor,
                                PixelRect* destination, SourceRect* source, int targetWidth,
                                int targetHeight);
    // Writes an audio-only movie from the open audio source. Reports 0, 2 or 4.
    virtual void EncodeAudioMovie(FILE* out, const char* dbname);
    // Writes a movie with video from the open video source (and the audio source when it
    // holds audio). The stream must be open for writing at position 0. Reports 0, 2 or 4.
    virtual void EncodeVideoMovie(FILE* out, const char* dbname, int screenWidth, int screenHeight,
                                  int colorDepth, bool flipVertically, bool flipHorizontally,
                                  bool rotateSideways, float brightness, float contrast,
                                  int firstFrame, int endFrame);
    virtual const PreviewBitmapInfo* GetPreviewBitmapInfo();
    virtual void ClearStop();
    virtual void RequestStop();
    // Appends recordCount audio records at the stream's position, storing record k's offset
    // in recordList[firstEntry + k], from the audio source's sound startMs milliseconds in.
    // 0 on success, -1 when stopped or the source failed, -2 when the stream refused a
    // record.
    virtual int EncodeAudioRecords(FILE* out, int recordCount,
                                   std::span<quil::RecordListEntry> recordList, int firstEntry,
                                   int startMs);
    virtual void SetupPreviewBitmap(int width, int height, int bitsPerPixel);
    // code 0 to 7 (ProgressCode); see progress.h for the values.
    virtual void ReportProgress(int code, intptr_t value1, intptr_t value2);
    // Converts record list entries between host order and file order, in place.
    virtual void SwapRecordList(quil::RecordListEntry* list, int count);

    // Sources the job opened elsewhere (or a test built); the engine does not own them.
    void SetSources(VideoStreamSource* video, AudioStreamSource* audio);
    // The candidate lists OpenSources tries, in order. The engine does not own them.
    void SetSourceLists(std::vector<VideoStreamSource*> video, std::vector<AudioStreamSource*> audio);
    // Buffers of kPreviewRowBytes x 720 bytes each frame is copied into (bottom row first),
    // or null. Owned by the caller.
    void SetPreviewBuffers(uint8_t* sourcePreview, uint8_t* compressedPreview);
    void SetClock(ProgressClock clock);

    const CompletionRecord& completionRecord() const { return m_completion; }
    bool stopRequested() const { return m_stop.load(std::memory_order_relaxed); }

protected:
    JobOutcome runVideoJob(FILE* out, const char* dbname, const VideoJobSettings& settings);
    JobOutcome runAudioJob(FILE* out, const char* dbname);
    void reportOutcome(const JobOutcome& outcome);

    std::unique_ptr<EngineTables> m_tables;
    VideoStreamSource* m_videoSource = nullptr;
    AudioStreamSource* m_audioSource = nullptr;
    std::vector<VideoStreamSource*> m_videoSourceList;
    std::vector<AudioStreamSource*> m_audioSourceList;
    std::atomic<bool> m_stop{false};
    uint8_t* m_sourcePreview = nullptr;
    uint8_t* m_compressedPreview = nullptr;
    PreviewBitmapInfo m_previewInfo;
    CompletionRecord m_completion;
    ProgressClock m_clock = WallClockSeconds;
};
