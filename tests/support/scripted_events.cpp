#include "scripted_events.h"

#include "event_feed.h"

namespace {
ScriptedEvents* active = nullptr;
}

ScriptedEvents::ScriptedEvents(std::vector<SDL_Event> events) : events_(std::move(events)) {
    active = this;
    SetEventPoller([](SDL_Event* event) { return active->Next(event); });
}

ScriptedEvents::~ScriptedEvents() {
    SetEventPoller(nullptr);
    SDL_SetModState(KMOD_NONE);
}

int ScriptedEvents::Next(SDL_Event* event) {
    if (next_ < events_.size()) {
        *event = events_[next_++];
        SDL_SetModState(event->type == SDL_KEYDOWN ? event->key.keysym.mod : KMOD_NONE);
        return event->type != SDL_NOEVENT;
    }
    *event = KeyDown(SDLK_ESCAPE);
    return ++pastEnd_ % 2 == 0;
}

SDL_Event Event(uint8_t type) {
    SDL_Event event{};
    event.type = type;
    return event;
}

SDL_Event KeyDown(SDLKey sym, SDLMod mod) {
    SDL_Event event{};
    event.key = {SDL_KEYDOWN, 0, SDL_PRESSED, {0, sym, mod, 0}};
    return event;
}

SDL_Event Button(uint8_t type, uint8_t button, uint16_t x, uint16_t y) {
    SDL_Event event{};
    event.button = {type, 0, button, 0, x, y};
    return event;
}
