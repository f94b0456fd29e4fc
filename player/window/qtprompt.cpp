#include "player/window/qtprompt.h"

#include "player/core/movie.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace quil {

void QtPrompt::showMessage(const std::string& text, const std::string& caption, PromptIcon icon) {
    const QMessageBox::Icon qicon = icon == PromptIcon::Warning ? QMessageBox::Warning
                                    : icon == PromptIcon::Error ? QMessageBox::Critical
                                                                : QMessageBox::Information;
    QMessageBox box(qicon, QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok, m_parent);
    box.exec();
}

std::optional<std::string> QtPrompt::askPassword(const std::string& text) {
    QDialog dialog(m_parent);
    dialog.setWindowTitle(QStringLiteral("Password"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(QString::fromStdString(text), &dialog);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("passwordEdit"));
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(int(kMaxPasswordLength));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return edit->text().toLatin1().toStdString(); // the password is 8-bit text
}

} // namespace quil
