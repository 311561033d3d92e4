// Feeds the program's event loops from a list instead of SDL's queue.
//
// NoEvent() in the list reads as an empty queue once: it ends a loop's pass.
// Check(f) runs f when the feed reaches it, to look at what the program shows
// while it waits. A key event sets SDL's modifier state to its own as it is
// handed out. Past the end the feed alternates an empty queue and an Escape
// key-down, so that no modal loop can hang a test.
#pragma once

#include <SDL.h>
#include <functional>
#include <vector>

class ScriptedEvents {
  public:
    explicit ScriptedEvents(std::vector<SDL_Event> events);  // installs itself as the poller
    ~ScriptedEvents();  // restores SDL_PollEvent and the modifier state

    size_t Remaining() const { return events_.size() - next_; }  // entries not yet reached
    size_t Polls() const { return polls_; }                      // calls of the poller
    bool Exhausted() const { return pastEnd_ > 1; }              // an Escape of its own given

  private:
    static int Poll(SDL_Event* event);
    std::vector<SDL_Event> events_;
    size_t next_ = 0, polls_ = 0, pastEnd_ = 0;
};

SDL_Event KeyDown(SDLKey sym, SDLMod mod = KMOD_NONE);
SDL_Event Button(uint8_t type, uint8_t button, uint16_t x, uint16_t y);
SDL_Event Event(uint8_t type);  // an event of that type and nothing else: SDL_QUIT, SDL_NOEVENT
SDL_Event Check(std::function<void()> check);
