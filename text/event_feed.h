// Where every event loop of the program takes its events from.
//
// The main loop and the modal loops (text prompt, key wait) all read the
// queue through PollEvent. By default that is SDL_PollEvent; a test may put
// its own poller in place to decide what each pass of a loop sees.
#pragma once

#include <SDL.h>

// A replacement for SDL_PollEvent with the same contract: fills *event and
// returns 1 while events are waiting, returns 0 when the queue is empty.
using EventPoller = int (*)(SDL_Event* event);

// Takes the next event, from SDL or from the poller set by SetEventPoller.
int PollEvent(SDL_Event* event);

// Replaces the event source; nullptr restores SDL_PollEvent.
void SetEventPoller(EventPoller poller);
