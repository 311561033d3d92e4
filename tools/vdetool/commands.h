// The commands of vdetool and what they share. Each takes the arguments after
// its name and returns the exit status.
#pragma once

#include <SDL.h>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "episode_file.h"
#include "options.h"
#include "reference_palette.h"

struct Tool {
    FILE* out;
    FILE* err;
};

// An episode record whose buffers are released when it goes, on every path
// out of a command.
struct OwnedEpisode {
    EpisodeRecord record;

    OwnedEpisode() = default;
    OwnedEpisode(const OwnedEpisode&) = delete;
    OwnedEpisode& operator=(const OwnedEpisode&) = delete;
    ~OwnedEpisode() { FreeEpisodeBuffers(record); }
};

// A surface freed when it goes.
using OwnedSurface = std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)>;

// A picture file as an 8-bit picture in `palette`, converted as the editor's
// import does; null, with the failure reported, when it cannot be read or
// converted.
OwnedSurface ReadInPalette(Tool& tool, const std::string& path, const SDL_Color* palette);

int RunInfo(Tool& tool, int argc, const char* const* argv);
int RunCheck(Tool& tool, int argc, const char* const* argv);
int RunUnpack(Tool& tool, int argc, const char* const* argv);
int RunPack(Tool& tool, int argc, const char* const* argv);
int RunConvert(Tool& tool, int argc, const char* const* argv);

// "vdetool: FILE: reason" on the error stream; returns kStatusFailed.
int Fail(Tool& tool, const std::string& file, const std::string& reason);

// "vdetool: message" and where to find the usage; returns kStatusUsage.
int UsageError(Tool& tool, const char* command, const std::string& message);

// Parses a command's arguments. False, with the usage error reported and
// `status` set, when they are wrong; false with the help printed and status 0
// for --help. True when the command should run.
bool ParseCommand(Tool& tool, const char* command, int argc, const char* const* argv,
                  const std::vector<OptionRule>& rules, ParsedArguments& parsed, int& status);

// The palette of --palette, or "menu.pal" in the working directory. False,
// with the failure reported, when it cannot be read. A file shorter than 256
// colours is used as the editor uses it (the rest black), with a warning.
bool LoadPalette(Tool& tool, const ParsedArguments& parsed, SDL_Color palette[kPaletteEntries]);
