// Feeds the program's event loops from a script instead of SDL's queue.
//
// A script is a list of passes: what the queue holds each time a loop polls
// it until it is empty. Each pass may also set the keyboard modifier state
// (as SDL_GetModState reports it) when the pass begins. Once the script is
// used up the feed reports it and keeps giving Escape key-downs, one per pass,
// so that no modal loop can hang a test.
#pragma once

#include <SDL.h>
#include <functional>
#include <vector>

class ScriptedEvents {
  public:
    ScriptedEvents();   // installs itself as the event poller
    ~ScriptedEvents();  // restores SDL_PollEvent and the modifier state

    ScriptedEvents& Pass(std::vector<SDL_Event> events, SDLMod mod = KMOD_NONE);
    // Runs `check` when the last pass added begins, before any of its events
    // is taken: to look at what the program showed while it waited.
    ScriptedEvents& AtStart(std::function<void()> check);

    // True when some loop polled past the end of the script.
    bool Exhausted() const { return exhausted_; }
    // Events of the script not yet taken.
    size_t Remaining() const;
    // How many times the loops polled (each call of the poller).
    size_t Polls() const { return polls_; }

  private:
    static int Poll(SDL_Event* event);
    int Next(SDL_Event* event);

    struct PassData {
        std::vector<SDL_Event> events;
        SDLMod mod;
        std::function<void()> atStart;
    };
    std::vector<PassData> passes_;
    size_t pass_ = 0;
    size_t index_ = 0;
    bool started_ = false;
    bool exhausted_ = false;
    bool escapeGiven_ = false;
    size_t polls_ = 0;
};

SDL_Event KeyDown(SDLKey sym, SDLMod mod = KMOD_NONE);
SDL_Event KeyUp(SDLKey sym);
SDL_Event MouseDown(uint8_t button, uint16_t x, uint16_t y);
SDL_Event MouseUp(uint8_t button, uint16_t x, uint16_t y);
SDL_Event MouseMotion(uint16_t x, uint16_t y);
SDL_Event QuitEvent();
