// Feeds the program's event loops from a list instead of SDL's queue.
//
// Each event sets SDL's modifier state to its key modifiers as it is handed
// out. Event(SDL_NOEVENT) reads as an empty queue once: it ends a loop's pass.
// Past the end the feed alternates an empty queue and an Escape key-down, so
// that no modal loop can hang a test.
#pragma once

#include <SDL.h>
#include <vector>

class ScriptedEvents {
  public:
    explicit ScriptedEvents(std::vector<SDL_Event> events);  // installs itself as the poller
    ~ScriptedEvents();  // restores SDL_PollEvent and the modifier state
    size_t Remaining() const { return events_.size() - next_; }  // events not yet taken
    bool Exhausted() const { return pastEnd_ > 1; }              // an Escape of its own given
    int Next(SDL_Event* event);

  private:
    std::vector<SDL_Event> events_;
    size_t next_ = 0, pastEnd_ = 0;
};

SDL_Event Event(uint8_t type);  // that type and nothing else: SDL_QUIT, SDL_NOEVENT, ...
SDL_Event KeyDown(SDLKey sym, SDLMod mod = KMOD_NONE);
SDL_Event Button(uint8_t type, uint8_t button, uint16_t x, uint16_t y);
