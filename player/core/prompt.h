// The few questions and messages the player puts to its user, behind an interface so that
// the window shows them with message boxes and tests record them.
#pragma once

#include <optional>
#include <string>

namespace quil {

enum class PromptIcon { Information, Warning, Error };

class PlayerPrompt {
public:
    virtual ~PlayerPrompt() = default;
    virtual void showMessage(const std::string& text, const std::string& caption, PromptIcon icon) = 0;
    // Shows the password dialog with its text; returns the entered text (at most 49
    // characters), or nullopt for Cancel or a closed dialog.
    virtual std::optional<std::string> askPassword(const std::string& text) = 0;
};

} // namespace quil
