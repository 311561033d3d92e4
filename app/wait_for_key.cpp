#include <cstdio>

#include "editor_app.h"
#include "event_feed.h"

void LockScreen(SDL_Surface* surface) {
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) < 0) {
        std::fprintf(stderr, "Can't lock surface: %s\n", SDL_GetError());
    }
}

void UnlockScreen(SDL_Surface* surface) {
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
}

void WaitForKey() {
    // Each pass takes the whole queue; a quit request is dropped like any
    // other event, so only a key ends the wait.
    for (;;) {
        bool sawKeyDown = false;
        SDL_Event event;
        while (PollEvent(&event)) {
            if (event.type == SDL_KEYDOWN) sawKeyDown = true;
        }
        if (sawKeyDown) return;
    }
}
