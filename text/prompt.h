// The modal one-line text prompt.
#pragma once

#include <SDL.h>

constexpr int kPromptMaxChars = 32;

// Shows a 264x32 light grey box at (x, y) with `prompt` in it and reads a
// line of at most 32 characters typed in the Swedish/Finnish layout, until
// Return or Escape. Returns true when Return accepted at least one character:
// the line and its NUL (n + 1 bytes) are then copied into `result`, which
// must hold 33 bytes. Otherwise returns false and leaves `result` untouched.
// A quit request while the prompt is open ends the process with status 0.
// Key-downs are typed in the order they arrive; the events after the one that
// ends the prompt stay in the queue.
bool PromptText(char* result, const char* prompt, int x, int y, SDL_Surface* surface);
