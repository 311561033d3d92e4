#include "scripted_events.h"

#include "event_feed.h"

namespace {
ScriptedEvents* active = nullptr;
std::vector<std::function<void()>> checks;  // what Check events run, by their code
constexpr uint8_t kCheck = SDL_USEREVENT;
}  // namespace

ScriptedEvents::ScriptedEvents(std::vector<SDL_Event> events) : events_(std::move(events)) {
    active = this;
    SetEventPoller(&ScriptedEvents::Poll);
}

ScriptedEvents::~ScriptedEvents() {
    SetEventPoller(nullptr);
    active = nullptr;
    SDL_SetModState(KMOD_NONE);
}

int ScriptedEvents::Poll(SDL_Event* event) {
    ScriptedEvents& s = *active;
    ++s.polls_;
    while (s.next_ < s.events_.size()) {
        *event = s.events_[s.next_++];
        if (event->type == SDL_NOEVENT) return 0;
        if (event->type == kCheck) {
            checks[static_cast<size_t>(event->user.code)]();
            continue;
        }
        if (event->type == SDL_KEYDOWN) SDL_SetModState(event->key.keysym.mod);
        return 1;
    }
    if (++s.pastEnd_ % 2 == 1) return 0;
    *event = KeyDown(SDLK_ESCAPE);
    return 1;
}

SDL_Event KeyDown(SDLKey sym, SDLMod mod) {
    SDL_Event e = Event(SDL_KEYDOWN);
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event Button(uint8_t type, uint8_t button, uint16_t x, uint16_t y) {
    SDL_Event e = Event(type);
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event Event(uint8_t type) {
    SDL_Event e{};
    e.type = type;
    return e;
}

SDL_Event Check(std::function<void()> check) {
    SDL_Event e = Event(kCheck);
    e.user.code = static_cast<int>(checks.size());
    checks.push_back(std::move(check));
    return e;
}
