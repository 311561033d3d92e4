#include "event_feed.h"

namespace {
EventPoller currentPoller = nullptr;
}

int PollEvent(SDL_Event* event) {
    return currentPoller ? currentPoller(event) : SDL_PollEvent(event);
}

void SetEventPoller(EventPoller poller) {
    currentPoller = poller;
}
