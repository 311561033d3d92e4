// vdetool, the command-line companion of the editor: inspects, checks, takes
// apart and builds episode files, and converts pictures to the game's palette.
#pragma once

#include <cstdio>

enum VdetoolStatus : int {
    kStatusOk = 0,
    kStatusFailed = 1,  // a file could not be read, converted or written
    kStatusUsage = 2,   // the command line was wrong
};

// Runs the command line `argv` (argv[0] is the program's name, not used in
// messages: they always say "vdetool"). Results and help go to `out`, errors
// as "vdetool: FILE: reason" to `err`. Returns the exit status. Never exits
// the process; needs no SDL_Init.
int RunVdetool(int argc, const char* const* argv, FILE* out, FILE* err);
