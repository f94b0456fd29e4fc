// "Quillreel Encoding Complete": the database name, total size, playing time, frame rate and
// average quality of a finished movie. exec() returns 0.
#pragma once

#include "encoder/engine/params.h"

#include <QDialog>

class QLabel;

class CompletionDialog : public QDialog {
    Q_OBJECT
public:
    // encodemode 3 (audio only) shows "--" for the rate and quality.
    CompletionDialog(const CompletionRecord& record, int encodemode, QWidget* parent = nullptr);

    QString valueText(int id) const; // 1016-1020

public slots:
    void done(int) override;

private:
    QLabel* m_values[5];
};
