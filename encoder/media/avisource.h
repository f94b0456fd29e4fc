// The AVI sources: video and audio of AVI and WAV files, read through FFmpeg. Any other
// container is answered with the no-handler code so that the next candidate source is
// tried. Video frames of every codec FFmpeg decodes come out as 32-bit pixels; frame i is
// exactly the i-th frame of the stream whatever was read before. Audio is handed out as the
// stream's own raw little-endian sample blocks (PCM, A-law, mu-law; at most two channels).
#pragma once

#include "encoder/media/streamsource.h"

#include <cstdint>
#include <memory>

class VideoStreamSourceAVI : public VideoStreamSource {
  public:
    VideoStreamSourceAVI();
    ~VideoStreamSourceAVI() override;

    void Close() override;
    bool IsOpen() override;
    uint32_t GetSourceType() override { return kSourceTypeVideoAVI; }
    int InitLibrary() override;
    int Open(const char* fileName) override;
    int GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) override;
    int GetInfo(VideoStreamInfo* info) override;
    int GetStart() override;
    int GetLength() override;
    const char* GetErrorText(unsigned code) override;

    // Files of this many bytes or more are refused before the container is read.
    static constexpr int64_t kMaxFileBytes = 0x7FFFFFFF;

    struct Impl;

  private:
    std::unique_ptr<Impl> m;
    char m_scriptErrorText[64 + 1900] = {};
};

class AudioStreamSourceAVI : public AudioStreamSource {
  public:
    AudioStreamSourceAVI();
    ~AudioStreamSourceAVI() override;

    void Close() override;
    bool IsOpen() override;
    int Open(const char* fileName) override;
    uint32_t GetSourceType() override { return kSourceTypeAudioAVI; }
    int InitLibrary() override;
    int Read(int firstBlock, int blockCount, void* buffer, int bufferSize, int* bytesRead,
             int* blocksRead) override;
    int GetInfo(AudioStreamInfo* info) override;
    int GetStart() override;
    int GetLength() override;
    const char* GetErrorText(unsigned code) override;
    int SetErrorV(int code, va_list args) override;

    struct Impl;

  private:
    int failRead(int result, int firstBlock, int blockCount);

    std::unique_ptr<Impl> m;
    char m_scriptErrorText[64 + 1900] = {};
    char m_compressedText[256] = {};
};
