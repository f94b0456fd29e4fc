#include "encoder/media/mediamessage.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_lock;
MediaMessageHandler g_handler;
} // namespace

void setMediaMessageHandler(MediaMessageHandler handler) {
    std::lock_guard<std::mutex> hold(g_lock);
    g_handler = std::move(handler);
}

void showMediaMessage(const char* caption, const char* text) {
    MediaMessageHandler h;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        h = g_handler;
    }
    if (h) {
        h(caption, text);
    } else {
        std::fprintf(stderr, "%s: %s\n", caption, text);
    }
}
