// Sources for the engine's tests whose stream description is set directly: frame range and
// record count rules need nothing but GetInfo and IsOpen.
#pragma once

#include "encoder/media/streamsource.h"

#include <memory>
#include <vector>

class InfoOnlyVideoSource : public VideoStreamSource {
public:
    VideoStreamInfo info;
    bool open = true;
    int openResult = kVideoOk;
    int openCalls = 0;

    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    uint32_t GetSourceType() override { return FourCC('T', 'E', 'S', 'T'); }
    int Open(const char*) override {
        ++openCalls;
        open = openResult == kVideoOk;
        return openResult;
    }
    int GetFrame(int, std::unique_ptr<VBitmap>&) override { return kVideoReadError; }
    int GetInfo(VideoStreamInfo* out) override {
        *out = info;
        return kVideoOk;
    }
    int GetStart() override { return 0; }
    int GetLength() override { return info.length; }
};

class InfoOnlyAudioSource : public AudioStreamSource {
public:
    AudioStreamInfo info;
    bool open = true;
    int openResult = kAudioOk;
    int openCalls = 0;

    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    int Open(const char*) override {
        ++openCalls;
        open = openResult == kAudioOk;
        return openResult;
    }
    uint32_t GetSourceType() override { return FourCC('T', 'E', 'S', 'T'); }
    int Read(int, int, void*, int, int*, int*) override { return kAudioReadError; }
    int GetInfo(AudioStreamInfo* out) override {
        *out = info;
        return kAudioOk;
    }
    int GetStart() override { return 0; }
    int GetLength() override { return info.length; }
};

#include "encoder/media/vbitmap.h"

#include <functional>

// A video source whose frames are painted by a callback into 32-bit pixels (top row first as
// the callback sees them). onFrame runs before each delivery, so a test can stop a job at a
// chosen frame; failFrom makes every fetch from that index on fail with failCode.
class PaintedVideoSource : public VideoStreamSource {
public:
    using Painter = std::function<uint32_t(int frame, int x, int yFromTop)>;

    VideoStreamInfo info;
    Painter paint;
    std::function<void(int frame)> onFrame;
    int failFrom = -1;
    int failCode = kVideoReadError;
    int start = 0;
    bool open = true;
    std::vector<int> fetched;

    void Close() override { open = false; }
    bool IsOpen() override { return open; }
    uint32_t GetSourceType() override { return FourCC('T', 'E', 'S', 'T'); }
    int Open(const char*) override { return kVideoOk; }
    int GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) override {
        fetched.push_back(index);
        if (onFrame) {
            onFrame(index);
        }
        if (failFrom >= 0 && index >= failFrom) {
            return failCode;
        }
        if (index < start || index >= start + info.length) {
            return kVideoReadError;
        }
        if (!bitmap) {
            bitmap = std::make_unique<VBitmap>(info.width, info.height);
        }
        for (int y = 0; y < info.height; ++y) {
            uint32_t* row = bitmap->Row(info.height - 1 - y);
            for (int x = 0; x < info.width; ++x) {
                row[x] = paint(index, x, y);
            }
        }
        return kVideoOk;
    }
    int GetInfo(VideoStreamInfo* out) override {
        *out = info;
        return kVideoOk;
    }
    int GetStart() override { return start; }
    int GetLength() override { return info.length; }
};
