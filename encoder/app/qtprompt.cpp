#include "encoder/app/qtprompt.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(PromptIcon icon) {
    switch (icon) {
    case PromptIcon::Warning:
        return QMessageBox::Warning;
    case PromptIcon::Error:
        return QMessageBox::Critical;
    case PromptIcon::Information:
        break;
    }
    return QMessageBox::Information;
}

} // namespace

void QtPrompt::showMessage(const std::string& caption, const std::string& text, PromptIcon icon) {
    QMessageBox box(boxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, m_parent);
    box.exec();
}

bool QtPrompt::askOkCancel(const std::string& caption, const std::string& text, PromptIcon icon) {
    QMessageBox box(boxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok | QMessageBox::Cancel, m_parent);
    return box.exec() == QMessageBox::Ok;
}

std::optional<std::string> QtPrompt::askPassword(const std::string& caption,
                                                 const std::string& text, int maxLength) {
    QInputDialog dialog(m_parent);
    dialog.setWindowTitle(QString::fromStdString(caption));
    dialog.setLabelText(QString::fromStdString(text));
    dialog.setTextEchoMode(QLineEdit::Password);
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        edit->setMaxLength(maxLength);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.textValue().toStdString();
}
