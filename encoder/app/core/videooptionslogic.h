// What the "Video Options" dialog (cropping and editing) decides: it opens the video source
// alone, keeps the slider, field and check-box state, draws the 160 x 160 live preview with
// the engine's own placement, carries out the dialog's commands and applies OK and Cancel.
// Brightness and contrast are written on every render and the three flags on every click,
// so Cancel keeps them; the sizing factor and the frame range are written only by OK.
#pragma once

#include "encoder/app/core/settings.h"
#include "encoder/engine/movieencoder.h"
#include "encoder/media/vbitmap.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

inline constexpr int kPreviewSide = 160;

// The flags' check boxes.
enum class VideoFlag { Rotate, FlipVertically, FlipHorizontally };

class VideoOptionsLogic {
public:
    // Loads the controls, opens the video source of the fields (no audio) and, when it can be
    // shown, sets the range fields and renders the first preview. faceColor (0x00RRGGBB) is
    // drawn around the display box.
    VideoOptionsLogic(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                      uint32_t faceColor);

    // The text to show when the source could not be opened (empty when none was given).
    const std::optional<std::string>& openError() const { return m_openError; }
    // False when the source cannot be shown: the dialog then ends at once with 1.
    bool sourceShown() const { return m_sourceWidth >= 0; }

    // Position control settings.
    int positionLast() const { return m_length - 1; }
    int32_t microsecondsPerFrame() const { return m_usPerFrame; }
    int position() const { return m_position; }
    // The control moved (its own track bar); no render.
    void setPosition(int position);

    int sizing() const { return m_sizing; } // 0..64
    int brightness() const { return m_brightness; } // -100..100
    int contrast() const { return m_contrast; }
    void setSizing(int position);
    void setBrightness(int position);
    void setContrast(int position);
    bool flag(VideoFlag f) const;
    const std::string& firstText() const { return m_firstText; }
    const std::string& lastText() const { return m_lastText; }
    void setFirstText(const std::string& text) { m_firstText = text; }
    void setLastText(const std::string& text) { m_lastText = text; }

    // Commands; those that end with a render return whether the preview was redrawn.
    bool positionNotice(int code);
    bool setFlag(VideoFlag f, bool on);
    bool resetSliders();
    void setToFirst();
    void setToLast();
    void useAllFrames();
    bool goFirst();
    bool goLast();

    // Draws the preview of the current frame; false (the old picture kept) when the frame
    // cannot be read.
    bool render();
    // The 160 x 160 preview, or null when the source cannot be shown.
    const VBitmap* preview() const { return m_preview.get(); }
    // Where the display box lies in the preview (from the top) for the current settings.
    PixelRect displayBox() const;

    int accept(); // writes everything, closes the sources; 1
    int reject(); // closes the sources; 0

private:
    bool goTo(const std::string& text);
    void writeLive();

    OrbanwickMovieEncoder& m_engine;
    uint32_t m_faceColor;
    std::optional<std::string> m_openError;
    int m_sourceWidth = -1, m_sourceHeight = -1;
    int m_length = 0;
    int32_t m_usPerFrame = 0;
    int m_position = 0;
    int m_sizing = 0, m_brightness = 0, m_contrast = 0;
    bool m_rotate = false, m_flipV = false, m_flipH = false;
    std::string m_firstText, m_lastText;
    std::unique_ptr<VBitmap> m_frame;
    std::unique_ptr<VBitmap> m_preview;
};
