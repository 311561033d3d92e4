#include "scripted_events.h"

#include "event_feed.h"

namespace {
ScriptedEvents* active = nullptr;
}

ScriptedEvents::ScriptedEvents() {
    active = this;
    SetEventPoller(&ScriptedEvents::Poll);
}

ScriptedEvents::~ScriptedEvents() {
    SetEventPoller(nullptr);
    active = nullptr;
    SDL_SetModState(KMOD_NONE);
}

ScriptedEvents& ScriptedEvents::Pass(std::vector<SDL_Event> events, SDLMod mod) {
    passes_.push_back({std::move(events), mod, nullptr});
    return *this;
}

ScriptedEvents& ScriptedEvents::AtStart(std::function<void()> check) {
    passes_.back().atStart = std::move(check);
    return *this;
}

size_t ScriptedEvents::Remaining() const {
    size_t left = 0;
    for (size_t p = pass_; p < passes_.size(); ++p) left += passes_[p].events.size();
    return left - (pass_ < passes_.size() ? index_ : 0);
}

int ScriptedEvents::Poll(SDL_Event* event) {
    return active ? active->Next(event) : 0;
}

int ScriptedEvents::Next(SDL_Event* event) {
    ++polls_;
    if (pass_ >= passes_.size()) {
        exhausted_ = true;
        // Alternate an Escape key-down with an empty queue.
        escapeGiven_ = !escapeGiven_;
        if (escapeGiven_) {
            *event = KeyDown(SDLK_ESCAPE);
            return 1;
        }
        return 0;
    }
    PassData& pass = passes_[pass_];
    if (!started_) {
        started_ = true;
        SDL_SetModState(pass.mod);
        if (pass.atStart) pass.atStart();
    }
    if (index_ < pass.events.size()) {
        *event = pass.events[index_++];
        return 1;
    }
    // End of this pass: the queue reads empty once, the next poll begins the
    // next pass.
    ++pass_;
    index_ = 0;
    started_ = false;
    return 0;
}

SDL_Event KeyDown(SDLKey sym, SDLMod mod) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

SDL_Event KeyUp(SDLKey sym) {
    SDL_Event e{};
    e.type = SDL_KEYUP;
    e.key.type = SDL_KEYUP;
    e.key.state = SDL_RELEASED;
    e.key.keysym.sym = sym;
    return e;
}

static SDL_Event Button(uint8_t type, uint8_t button, uint16_t x, uint16_t y) {
    SDL_Event e{};
    e.type = type;
    e.button.type = type;
    e.button.button = button;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    return e;
}

SDL_Event MouseDown(uint8_t button, uint16_t x, uint16_t y) {
    return Button(SDL_MOUSEBUTTONDOWN, button, x, y);
}

SDL_Event MouseUp(uint8_t button, uint16_t x, uint16_t y) {
    return Button(SDL_MOUSEBUTTONUP, button, x, y);
}

SDL_Event MouseMotion(uint16_t x, uint16_t y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}

SDL_Event QuitEvent() {
    SDL_Event e{};
    e.type = SDL_QUIT;
    e.quit.type = SDL_QUIT;
    return e;
}
