// Messages that a source shows the user itself (read failures in the middle of a job), as a
// caption and a text. The programs install a handler that shows a message box; without one
// the message goes to standard error as "caption: text".
#pragma once

#include <functional>

using MediaMessageHandler = std::function<void(const char* caption, const char* text)>;

// Installs the handler for every source; an empty handler restores the default.
void setMediaMessageHandler(MediaMessageHandler handler);
void showMediaMessage(const char* caption, const char* text);
