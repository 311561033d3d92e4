// Feeds the program's event loops from a list instead of SDL's queue.
//
// Feed(events) puts the list in place of SDL_PollEvent. Each event sets SDL's
// modifier state to its key modifiers as it is handed out; SDL_Event{SDL_NOEVENT}
// reads as an empty queue once (it ends a loop's pass). Past the end the feed
// alternates an empty queue and an Escape key-down, so that no modal loop can
// hang a test.
#pragma once

#include <SDL.h>
#include <vector>

void Feed(std::vector<SDL_Event> events);
size_t EventsLeft();  // events of the list not yet taken
SDL_Event KeyDown(SDLKey sym, SDLMod mod = KMOD_NONE);
