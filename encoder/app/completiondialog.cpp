#include "encoder/app/completiondialog.h"

#include "encoder/app/core/choices.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CompletionDialog::CompletionDialog(const CompletionRecord& record, int encodemode, QWidget* parent)
    : QDialog(parent) {
    setObjectName("CompletionDialog");
    setWindowTitle("Quillreel Encoding Complete");
    const CompletionTexts texts = FormatCompletion(record, encodemode);
    const std::string* values[5] = {&texts.name, &texts.size, &texts.time, &texts.rate,
                                    &texts.quality};
    const char* captions[5] = {"Database name:", "Total database size:", "Total time:",
                               "Frame rate:", "Average quality:"};
    auto* form = new QFormLayout;
    for (int i = 0; i < 5; ++i) {
        m_values[i] = new QLabel(QString::fromStdString(*values[i]));
        m_values[i]->setObjectName(QString("value%1").arg(1016 + i));
        m_values[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(captions[i], m_values[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString CompletionDialog::valueText(int id) const {
    return id >= 1016 && id <= 1020 ? m_values[id - 1016]->text() : QString();
}

void CompletionDialog::done(int) { QDialog::done(0); }
