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

#include "encoder/media/memorysource.h"
#include "encoder/media/vbitmap.h"

#include <functional>

// An opened MemoryVideoSource whose frames are painted pixel by pixel (y counted from the
// top). onFrame runs inside each delivery, so a test can stop a job at a chosen frame.
struct TestVideo {
    using Painter = std::function<uint32_t(int frame, int x, int yFromTop)>;

    Painter paint;
    std::function<void(int frame)> onFrame;
    MemoryVideoSource source;

    TestVideo(VideoStreamInfo info, Painter painter, int start = 0)
        : paint(std::move(painter)),
          source(info, [this](int index, VBitmap& picture) {
              if (onFrame) {
                  onFrame(index);
              }
              for (int y = 0; y < picture.height; ++y) {
                  uint32_t* row = picture.Row(picture.height - 1 - y);
                  for (int x = 0; x < picture.width; ++x) {
                      row[x] = paint(index, x, y);
                  }
              }
          }) {
        source.setStart(start);
        source.Open("memory");
    }
    TestVideo(const TestVideo&) = delete;
    TestVideo& operator=(const TestVideo&) = delete;

    // Every fetch from index on fails with code.
    void failFrom(int index, int code = kVideoReadError) {
        for (int i = index; i < source.GetStart() + source.GetLength(); ++i) {
            source.failFrame(i, code);
        }
    }
};

// A source whose frames a function paints and which records every index it was asked for
// (the option dialogs' tests read the fetched indexes back). onFrame runs before each
// delivery; failFrom makes every fetch from that index on fail with failCode.
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
