// The prompt interface on message boxes and the password input dialog.
#pragma once

#include "encoder/engine/prompt.h"

class QWidget;

class QtPrompt : public Prompt {
  public:
    explicit QtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    void showMessage(const std::string& caption, const std::string& text, PromptIcon icon) override;
    bool askOkCancel(const std::string& caption, const std::string& text, PromptIcon icon) override;
    std::optional<std::string> askPassword(const std::string& caption, const std::string& text,
                                           int maxLength) override;

  private:
    QWidget* m_parent;
};
