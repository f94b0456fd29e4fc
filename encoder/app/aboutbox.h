// The About box: the program's name and version, its home page as a link, and a wire-frame
// cube turning on a 33 ms timer beside them.
#pragma once

#include <QDialog>

inline constexpr const char* kEncoderVersion = "4.00.00";
inline constexpr const char* kHomePage = "https://quillreel.example.org/";

class SpinningCube : public QWidget {
    Q_OBJECT
  public:
    explicit SpinningCube(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {160, 160}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double m_angle = 0.0;
};

class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(QWidget* parent = nullptr);
};
