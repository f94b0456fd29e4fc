// OrbanwickMovieEncoderGUI: the engine as the encoder program runs it. Its only change is
// ReportProgress, which hands each report to the main window and waits until the window has
// handled it. The worker may therefore pass addresses of texts and of the completion record,
// and the window may read the preview buffers and close the output file while it handles a
// report. A report made on the window's own thread (the start procedure's failure to open the
// sources) is handled at once.
#pragma once

#include "encoder/engine/movieencoder.h"

#include <mutex>

class QuilVideoEncoder;

class OrbanwickMovieEncoderGUI : public OrbanwickMovieEncoder {
  public:
    // The window the reports go to; null drops them.
    void setWindow(QuilVideoEncoder* window);
    QuilVideoEncoder* window() const;

    void ReportProgress(int code, intptr_t value1, intptr_t value2) override;

  private:
    mutable std::mutex m_mutex;
    QuilVideoEncoder* m_window = nullptr;
};
