// What the resolution and quality dialog decides: the state of its lists, track bar and
// rate fields loaded from the engine's parameters, the actions that write parameters at
// once (screen size, seek points, presets), the information lines with the size estimate,
// and the OK rules. The dialog widget only mirrors this state and forwards user actions.
#pragma once

#include "encoder/app/core/settings.h"
#include "encoder/engine/movieencoder.h"

#include <cstdint>
#include <string>

// The quality word for a data rate of d hundred bytes per frame at a screen of w x h.
int QualityIndex(int d, int width, int height);
const char* QualityWord(int index);

// Full frames counted by the estimate: every frame without compression, else the first
// frame plus one per seek interval (never more often than one in 60 of the frames).
int EstimatedSeekFrames(int frames, double fps, int keyFrameInterval, bool compressed);
// Estimated movie size in bytes.
int EstimatedFileSize(int frames, int seekFrames, int d, int width, int height, int audioBlocks);

// The two preview buffers (OrbanwickMovieEncoder::kFrameBufferBytes each) the main window
// hands the engine; either may be null.
struct PreviewBuffers {
    uint8_t* source = nullptr;
    uint8_t* compressed = nullptr;
};

class ResolutionLogic {
public:
    // Remembers the screen size and colour-mode code, opens the video source of the fields
    // (no audio) and loads the controls. A source that cannot be opened only leaves the
    // estimate and the rate texts uncomputed.
    ResolutionLogic(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                    PreviewBuffers previews = {});

    // Control state the dialog shows.
    int trackMinimum() const { return 5; }
    int trackMaximum() const { return m_trackMaximum; }
    int trackPosition() const { return m_trackPosition; }
    bool trackEnabled() const { return m_compress; }
    int screenIndex() const { return m_screenIndex; }
    int colorIndex() const { return m_colorIndex; }
    int seekIndex() const { return m_seekIndex; }
    bool compress() const { return m_compress; }
    bool manual() const { return m_manual; }
    const std::string& rateText() const { return m_rateText; }
    const std::string& targetLine() const { return m_targetLine; }
    const std::string& estimateLine() const { return m_estimateLine; }
    const std::string& automaticText() const { return m_automaticText; }
    const std::string& rateLine() const { return m_rateLine; }

    // User actions; each recomputes the information lines.
    void chooseScreenSize(int index); // writes the size at once
    void chooseColorMode(int index);
    void setCompress(bool on);
    void setManual(bool manual);
    void setRateText(const std::string& text);
    void chooseSeekPoints(int index); // writes the interval at once
    // Item 1-9 applies that preset at once and reloads the controls; 0 does nothing.
    void choosePreset(int item);
    void setTrackPosition(int position);

    // Writes the remaining parameters (ceiling capped at 9000; previews cleared when the size
    // or colour mode changed), closes the sources. Returns 1.
    int accept();
    // Closes the sources. Returns 0.
    int reject();

private:
    void load();
    void updateTrackRange();
    void recompute();
    int requestedRate() const;

    OrbanwickMovieEncoder& m_engine;
    PreviewBuffers m_previews;
    int32_t m_openWidth, m_openHeight, m_openDepth;
    int m_trackMaximum = 30;
    int m_trackPosition = 5;
    int m_screenIndex = 0;
    int m_colorIndex = 0;
    int m_seekIndex = 0;
    bool m_compress = true;
    bool m_manual = false;
    std::string m_rateText;
    std::string m_targetLine, m_estimateLine, m_automaticText = "&Automatic", m_rateLine;
};
