#include "scripted_events.h"

#include "event_feed.h"

static std::vector<SDL_Event> script;
static size_t next = 0, pastEnd = 0;

static int Next(SDL_Event* event) {
    if (next < script.size()) {
        *event = script[next++];
        SDL_SetModState(event->type == SDL_KEYDOWN ? event->key.keysym.mod : KMOD_NONE);
        return event->type != SDL_NOEVENT;
    }
    *event = KeyDown(SDLK_ESCAPE);
    return ++pastEnd % 2 == 0;
}

void Feed(std::vector<SDL_Event> events) {
    script = std::move(events);
    next = pastEnd = 0;
    SetEventPoller(Next);
}

size_t EventsLeft() {
    return script.size() - next;
}

SDL_Event KeyDown(SDLKey sym, SDLMod mod) {
    SDL_Event event{};
    event.key = {SDL_KEYDOWN, 0, SDL_PRESSED, {0, sym, mod, 0}};
    return event;
}
