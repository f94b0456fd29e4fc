// Message boxes and the password dialog of the player.
#pragma once

#include "player/core/prompt.h"

class QWidget;

namespace quil {

class QtPrompt final : public PlayerPrompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void showMessage(const std::string& text, const std::string& caption, PromptIcon icon) override;
    std::optional<std::string> askPassword(const std::string& text) override;

private:
    QWidget* m_parent;
};

} // namespace quil
