// The commands of vdetool and what they share. Each takes the arguments after
// its name and returns the exit status.
#pragma once

#include <SDL.h>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "colour_match.h"
#include "episode_file.h"
#include "options.h"
#include "picture_file.h"
#include "reference_palette.h"

struct Tool {
    FILE* out;
    FILE* err;
    bool backgroundGiven = false;     // --background was on the command line
    bool toldOfTransparency = false;  // the note on transparent pixels was given
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

// Reads --dither and --background. False, with the usage error reported,
// when one is not understood.
bool ReadConversionOptions(Tool& tool, const char* command, const ParsedArguments& parsed,
                           ConversionOptions& options);

// A picture file ("-": standard input) as an 8-bit picture in `palette`,
// converted as the editor's import does, with the options' dithering and
// background; null, with the failure reported, when it cannot be read or
// converted. The first picture with transparent pixels is noted on the error
// stream, unless --background was given.
OwnedSurface ReadInPalette(Tool& tool, const std::string& path, const SDL_Color* palette,
                           const ConversionOptions& options);

// A picture matched to the palette: `indexed` views the indices, held by
// `owner`, the picture as read and matched over its own pixels, or by
// `banded`, those of a picture read and matched a band at a time; and the
// palette it was matched to, which must outlive it.
struct MatchedPicture {
    OwnedSurface owner{nullptr, &SDL_FreeSurface};
    std::shared_ptr<uint8_t> banded;
    IndexedPicture indexed{};
};

// A picture file ("-": standard input) matched to `palette` as ReadInPalette
// converts it, with no second copy of the picture: a large uncompressed 24-bit
// BMP read and matched a band of rows at a time, any other picture matched
// over its own pixels (MatchInPlace). False, with the failure reported (and
// `out` of no use), when it cannot be read or matched. `format` receives the
// format read.
bool ReadMatched(Tool& tool, const std::string& path, const SDL_Color* palette,
                 const ConversionOptions& options, PictureFormat* format, MatchedPicture& out);

// The name of an input in messages: "standard input" for "-".
std::string InputName(const std::string& path);

int RunInfo(Tool& tool, int argc, const char* const* argv);
int RunCheck(Tool& tool, int argc, const char* const* argv);
int RunUnpack(Tool& tool, int argc, const char* const* argv);
int RunPack(Tool& tool, int argc, const char* const* argv);
int RunConvert(Tool& tool, int argc, const char* const* argv);
int RunPalette(Tool& tool, int argc, const char* const* argv);
int RunHelp(Tool& tool, int argc, const char* const* argv);

// "vdetool: FILE: reason" on the error stream; returns kStatusFailed.
int Fail(Tool& tool, const std::string& file, const std::string& reason);

// Fail for standard output that could not be written, the reason from errno.
int FailStandardOutput(Tool& tool);

// "vdetool: message" and where to find the usage; returns kStatusUsage.
int UsageError(Tool& tool, const char* command, const std::string& message);

// Parses a command's arguments. False, with the usage error reported and
// `status` set, when they are wrong; false with the help printed and status 0
// for --help. True when the command should run.
bool ParseCommand(Tool& tool, const char* command, int argc, const char* const* argv,
                  const std::vector<OptionRule>& rules, ParsedArguments& parsed, int& status);

// The palette of --palette, or "menu.pal" in the working directory. False,
// with the failure reported, when it cannot be read or is not 1024 bytes.
bool LoadPalette(Tool& tool, const ParsedArguments& parsed, SDL_Color palette[kPaletteEntries]);
