// The small interface through which the engine side talks to a person: show a message with
// a caption and an icon, ask OK/Cancel, ask for a password. The programs implement it with
// message boxes, the command-line tool on its terminal, the tests with a recorder.
#pragma once

#include <optional>
#include <string>

enum class PromptIcon { Information, Warning, Error };

class Prompt {
public:
    virtual ~Prompt() = default;
    virtual void showMessage(const std::string& caption, const std::string& text, PromptIcon icon) = 0;
    // True for OK.
    virtual bool askOkCancel(const std::string& caption, const std::string& text, PromptIcon icon) = 0;
    // The entered text, or nothing for Cancel.
    virtual std::optional<std::string> askPassword(const std::string& caption,
                                                   const std::string& text, int maxLength) = 0;
};
