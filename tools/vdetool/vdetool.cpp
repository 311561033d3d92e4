#include "vdetool.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "colour_match.h"
#include "commands.h"
#include "huge_pages.h"
#include "picture_file.h"

#ifndef VDETOOL_VERSION
#define VDETOOL_VERSION "unknown"
#endif

namespace {

const char kToolUsage[] =
    "Usage: vdetool COMMAND [ARGUMENTS]\n"
    "Inspects, checks, takes apart and builds episode files (.vde) of the game,\n"
    "and converts pictures to its palette.\n"
    "\n"
    "Commands:\n"
    "  info FILE.vde... [--json]  every header field, the picture and blob sizes,\n"
    "                             and whether the file is sound\n"
    "  check FILE.vde...          one line per file: ok, or why it is damaged\n"
    "  unpack FILE.vde            the three pictures as 8-bit BMP or PNG files\n"
    "  pack -o OUT.vde ...        an episode from three pictures\n"
    "  convert IN OUT             a picture to an 8-bit picture in the palette\n"
    "  convert -o DIR IN...       several pictures, into DIR\n"
    "  palette OUT                the palette for drawing programs (.gpl, .act,\n"
    "                             .hex, .png)\n"
    "  help [COMMAND]             this help, or a command's\n"
    "\n"
    "The palette is \"menu.pal\" in the working directory unless --palette names\n"
    "another. Pictures are read from BMP (1 to 32 bits, uncompressed) and PNG.\n"
    "'vdetool help COMMAND' tells more. Exit status: 0 success, 1 a file could\n"
    "not be read, converted or written, 2 wrong usage.\n"
    "\n"
    "Options:\n"
    "  -h, --help     this help\n"
    "  --version      the version\n";

// The options pack and convert share.
#define VDETOOL_CONVERSION_OPTIONS                                                   \
    "  --dither none|fs|ordered  exact nearest colours (default), Floyd-Steinberg\n" \
    "                         error diffusion, or an 8x8 ordered pattern\n"          \
    "  --background RRGGBB    the colour under transparent pixels (default\n"        \
    "                         000000)\n"                                             \
    "  --palette FILE         the palette (default menu.pal)\n"

struct CommandEntry {
    const char* name;
    int (*run)(Tool& tool, int argc, const char* const* argv);
    const char* usage;
};

const CommandEntry kCommands[] = {
    {"info", &RunInfo,
     "Usage: vdetool info FILE.vde... [--json]\n"
     "Shows every header field of each episode file: the name and start level as\n"
     "text, the place in the episode list, headerSize and the six extra integers\n"
     "in decimal and hexadecimal, the picture sizes, the three blob lengths and\n"
     "the compression ratio; then whether the file is complete and its pictures\n"
     "unpack, with the reason when not. Exit status 1 when one is not sound.\n"
     "\n"
     "  --json         the same as one JSON object, or an array of them for\n"
     "                 several files\n"},
    {"check", &RunCheck,
     "Usage: vdetool check FILE.vde...\n"
     "Writes \"FILE: ok\" for each sound episode file and \"FILE: reason\" for each\n"
     "other. Exit status 0 only when every file is sound.\n"},
    {"unpack", &RunUnpack,
     "Usage: vdetool unpack FILE.vde [-o DIR] [--format bmp|png] [--palette FILE]\n"
     "Writes the episode's pictures as Image.bmp, Title.bmp and LowTitle.bmp\n"
     "(.png with --format png): 8-bit pictures in the palette, into DIR (the\n"
     "working directory by default; made when it does not exist). The three\n"
     "files are replaced together or not at all.\n"
     "\n"
     "  -o, --output DIR      where to write the pictures\n"
     "  --format bmp|png      the kind of picture file (default bmp)\n"
     "  --palette FILE        the palette (default menu.pal)\n"},
    {"pack", &RunPack,
     "Usage: vdetool pack -o OUT.vde --image A --title B --lowtitle C [OPTIONS]\n"
     "Converts the three pictures (BMP or PNG of any depth) to the palette by the\n"
     "editor's nearest-colour rule and writes the episode file, byte for byte\n"
     "what the editor's Save VDE writes for the same pictures and fields. The\n"
     "Title and LowTitle must have the same width and height.\n"
     "\n"
     "  -o, --output OUT.vde   the episode file to write\n"
     "  --image FILE           the Image picture\n"
     "  --title FILE           the Title picture\n"
     "  --lowtitle FILE        the LowTitle picture\n"
     "  --name TEXT            the episode name (1 to 127 characters of code\n"
     "                         page 850; default \"#Kelto@Episode\")\n"
     "  --start-level NAME     the level it starts with, stored as given (at\n"
     "                         most 31 characters; default \"CASTLE1.VLV\")\n"
     "  --place N              the place in the episode list, 0 to 4294967295\n"
     "                         (default 7)\n"
     "  --template OLD.vde     take the header fields from this episode file\n"
     "                         instead of a fresh editor's; the options above\n"
     "                         still override them\n" VDETOOL_CONVERSION_OPTIONS},
    {"convert", &RunConvert,
     "Usage: vdetool convert IN OUT [OPTIONS]\n"
     "       vdetool convert -o DIR IN... [OPTIONS]\n"
     "Converts BMP or PNG pictures of any depth to 8-bit pictures in the palette\n"
     "by the editor's nearest-colour rule. OUT is a BMP or PNG file by its\n"
     "extension; with -o, each IN becomes DIR/NAME.bmp (or .png), NAME being its\n"
     "file name without extension. '-' as IN reads standard input, as OUT writes\n"
     "standard output (the format then from --format, else the input's). A\n"
     "picture that fails is reported and the others are still converted.\n"
     "\n"
     "  -o, --output DIR       convert several pictures into this directory\n"
     "  --format bmp|png       the kind of picture written\n" VDETOOL_CONVERSION_OPTIONS},
    {"palette", &RunPalette,
     "Usage: vdetool palette OUT [--format gpl|act|hex|png] [--palette FILE]\n"
     "Writes the palette in a drawing program's format, by OUT's extension:\n"
     ".gpl (GIMP, Krita, Inkscape, Aseprite), .act (Photoshop's colour table, 768\n"
     "bytes), .hex (one rrggbb per line), .png (16x16 squares of 16x16 pixels,\n"
     "index 0 top left, row by row). All 256 entries in order, duplicates too.\n"
     "'-' as OUT writes standard output, in the --format given.\n"
     "\n"
     "  --format NAME          the format, when OUT's extension does not say it\n"
     "  --palette FILE         the palette (default menu.pal)\n"},
};

// For "did you mean": every command, and the tool's own options.
std::vector<std::string> CommandNames() {
    std::vector<std::string> names;
    for (const CommandEntry& entry : kCommands) names.emplace_back(entry.name);
    names.emplace_back("help");
    return names;
}

const CommandEntry* FindCommand(const char* name) {
    for (const CommandEntry& entry : kCommands) {
        if (std::strcmp(entry.name, name) == 0) return &entry;
    }
    return nullptr;
}

}  // namespace

int Fail(Tool& tool, const std::string& file, const std::string& reason) {
    std::fprintf(tool.err, "vdetool: %s: %s\n", file.c_str(), reason.c_str());
    return kStatusFailed;
}

int FailStandardOutput(Tool& tool) {
    return Fail(tool, "standard output",
                std::string("cannot write: ") + (errno ? std::strerror(errno) : "write failed"));
}

int UsageError(Tool& tool, const char* command, const std::string& message) {
    std::fprintf(tool.err, "vdetool: %s\n", message.c_str());
    if (command) {
        std::fprintf(tool.err, "Try 'vdetool %s --help'.\n", command);
    } else {
        std::fprintf(tool.err, "Try 'vdetool --help'.\n");
    }
    return kStatusUsage;
}

bool ParseCommand(Tool& tool, const char* command, int argc, const char* const* argv,
                  const std::vector<OptionRule>& rules, ParsedArguments& parsed, int& status) {
    std::vector<OptionRule> withHelp = rules;
    withHelp.push_back({"help", 'h', false});
    std::string error;
    const bool parsedWell = ParseArguments(argc, argv, withHelp, parsed, error);
    // Help asked for anywhere wins over a mistake elsewhere on the line; an
    // option's value ("--name -h") is no such request.
    if (OptionValue(parsed, "help")) {
        std::fputs(FindCommand(command)->usage, tool.out);
        status = kStatusOk;
        return false;
    }
    if (!parsedWell) {
        status = UsageError(tool, command, command + std::string(": ") + error);
        return false;
    }
    return true;
}

bool LoadPalette(Tool& tool, const ParsedArguments& parsed, SDL_Color palette[kPaletteEntries]) {
    const std::string* given = OptionValue(parsed, "palette");
    const char* path = given ? given->c_str() : "menu.pal";
    errno = 0;
    size_t bytes = 0;
    if (!ReadPaletteFile(path, palette, &bytes)) {
        Fail(tool, path,
             std::string("cannot read the palette: ") +
                 (errno ? std::strerror(errno) : "read failed"));
        return false;
    }
    // The editor makes the missing colours of a short file black; a tool in
    // a build pipeline says the file is not a palette instead.
    if (bytes != kPaletteFileSize) {
        Fail(tool, path,
             bytes < kPaletteFileSize
                 ? "not a palette: " + std::to_string(bytes) + " bytes, not 1024 (256 colours)"
                 : std::string("not a palette: more than 1024 bytes (256 colours)"));
        return false;
    }
    return true;
}

bool ReadConversionOptions(Tool& tool, const char* command, const ParsedArguments& parsed,
                           ConversionOptions& options) {
    if (const std::string* dither = OptionValue(parsed, "dither")) {
        const struct {
            const char* name;
            Dither dither;
        } kinds[] = {{"none", Dither::kNone},
                     {"fs", Dither::kFloydSteinberg},
                     {"ordered", Dither::kOrdered}};
        const auto* kind = std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& k) {
            return strcasecmp(dither->c_str(), k.name) == 0;
        });
        if (kind == std::end(kinds)) {
            UsageError(
                tool, command,
                std::string(command) + ": --dither is none, fs or ordered, not '" + *dither + "'");
            return false;
        }
        options.dither = kind->dither;
    }
    tool.backgroundGiven = false;
    if (const std::string* background = OptionValue(parsed, "background")) {
        const bool hex = std::all_of(background->begin(), background->end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c));
        });
        if (background->size() != 6 || !hex) {
            UsageError(tool, command,
                       std::string(command) + ": --background is a colour RRGGBB, not '" +
                           *background + "'");
            return false;
        }
        options.background = static_cast<uint32_t>(std::strtoul(background->c_str(), nullptr, 16));
        tool.backgroundGiven = true;
    }
    return true;
}

std::string InputName(const std::string& path) {
    return path == "-" ? "standard input" : path;
}

namespace {

// The file to open for an input named on the command line ("-": standard
// input).
const char* PathToOpen(const std::string& path) {
    return path == "-" ? "/dev/stdin" : path.c_str();
}

// The picture file at `path`; null, with the failure reported, when it cannot
// be read.
SDL_Surface* ReadPicture(Tool& tool, const std::string& path, PictureFormat* format) {
    Problem problem;
    SDL_Surface* picture = ReadPictureFile(PathToOpen(path), &problem, format);
    if (!picture) Fail(tool, InputName(path), problem.reason);
    return picture;
}

// Reports a failed conversion, `why` it failed; tells of the first picture
// laid over the background.
bool Converted(Tool& tool, const std::string& path, const ConversionOptions& options,
               bool converted, const char* why, bool flattened) {
    if (!converted) {
        Fail(tool, InputName(path),
             std::string("cannot convert the picture to the palette (") + why + ")");
        return false;
    }
    if (flattened && !tool.backgroundGiven && !tool.toldOfTransparency) {
        std::fprintf(tool.err,
                     "vdetool: %s: transparent pixels laid over %06lX; --background RRGGBB "
                     "chooses another colour\n",
                     InputName(path).c_str(), static_cast<unsigned long>(options.background));
        tool.toldOfTransparency = true;
    }
    return true;
}

}  // namespace

OwnedSurface ReadInPalette(Tool& tool, const std::string& path, const SDL_Color* palette,
                           const ConversionOptions& options) {
    SDL_Surface* picture = ReadPicture(tool, path, nullptr);
    if (!picture) return OwnedSurface(nullptr, &SDL_FreeSurface);
    bool flattened = false;
    const bool converted = ConvertToPalette(&picture, palette, options, &flattened);
    OwnedSurface owned(picture, &SDL_FreeSurface);
    if (!Converted(tool, path, options, converted, "out of memory", flattened)) owned.reset();
    return owned;
}

namespace {

// About this many bytes of 24-bit rows are read at a time: small enough that
// each band reuses the memory of the one before, large enough that reading
// the headers again for each costs nothing.
constexpr uint32_t kBandBytes = 1u << 20;

// Only large pictures are read in bands: they gain from it, and they are
// matched through the table, which each band then shares (cells would be
// made anew for every band).
bool ReadInBands(const BmpBands& bands) {
    return bands.file && uint64_t{bands.width} * bands.height >= kTableFromPixels;
}

// Reads and matches the picture a band at a time into `out.banded`.
bool MatchInBands(Tool& tool, const std::string& path, const BmpBands& bands,
                  const SDL_Color* palette, ConversionOptions options, MatchedPicture& out) {
    const size_t bytes = size_t{bands.width} * bands.height;
    out.banded.reset(static_cast<uint8_t*>(AllocateHuge(bytes)), HugeDeleter{bytes});
    if (!out.banded) return Converted(tool, path, options, false, "out of memory", false);
    options.matcher = ColourMatcher::kTable;
    const uint32_t rows = std::max(1u, kBandBytes / bands.rowBytes);
    BandCarry carry;
    for (uint32_t top = 0; top < bands.height; top += rows) {
        Problem problem;
        SDL_Surface* band = ReadBmpBand(bands, top, std::min(rows, bands.height - top), &problem);
        if (!band) {
            Fail(tool, InputName(path), problem.reason);
            return false;
        }
        const bool matched =
            MatchBand(band, top, palette, options, out.banded.get() + size_t{top} * bands.width,
                      bands.width, carry);
        SDL_FreeSurface(band);
        if (!Converted(tool, path, options, matched, "a pixel format it cannot read", false)) {
            return false;
        }
    }
    out.indexed = IndexedPicture{out.banded.get(), bands.width, bands.height, bands.width, palette};
    return true;
}

}  // namespace

bool ReadMatched(Tool& tool, const std::string& path, const SDL_Color* palette,
                 const ConversionOptions& options, PictureFormat* format, MatchedPicture& out) {
    PictureInput opened;
    Problem problem;
    if (OpenPicture(PathToOpen(path), opened, &problem) && ReadInBands(opened.bands)) {
        if (format) *format = PictureFormat::kBmp;
        return MatchInBands(tool, path, opened.bands, palette, options, out);
    }
    if (opened.input.file) out.owner.reset(ReadWholePicture(opened, &problem, format));
    if (!out.owner) {
        Fail(tool, InputName(path), problem.reason);
        return false;
    }
    SDL_Surface* picture = out.owner.get();
    bool flattened = false;
    const bool matched = MatchInPlace(picture, palette, options, &flattened);
    out.indexed = IndexedPicture{
        static_cast<const uint8_t*>(picture->pixels), static_cast<uint32_t>(picture->w),
        static_cast<uint32_t>(picture->h), static_cast<size_t>(picture->w), palette};
    // Only a picture in a form it cannot read fails here.
    return Converted(tool, path, options, matched, "a pixel format it cannot read", flattened);
}

int RunHelp(Tool& tool, int argc, const char* const* argv) {
    if (argc > 1) return UsageError(tool, nullptr, "help: give at most one command");
    if (argc == 0 || std::strcmp(argv[0], "help") == 0 || std::strcmp(argv[0], "-h") == 0 ||
        std::strcmp(argv[0], "--help") == 0) {
        std::fputs(kToolUsage, tool.out);
        return kStatusOk;
    }
    const CommandEntry* command = FindCommand(argv[0]);
    if (!command) return UsageError(tool, nullptr, UnknownName("command", argv[0], CommandNames()));
    std::fputs(command->usage, tool.out);
    return kStatusOk;
}

int RunVdetool(int argc, const char* const* argv, FILE* out, FILE* err) {
    Tool tool{out, err};
    if (argc < 2) {
        std::fputs(kToolUsage, err);
        return kStatusUsage;
    }
    const char* first = argv[1];
    // Long options may be shortened here too: --vers, --h.
    const auto shortens = [first](const char* option) {
        const size_t given = std::strlen(first);
        return given > 2 && std::strncmp(option, first, given) == 0;
    };
    int status = kStatusOk;
    if (shortens("--help") || std::strcmp(first, "-h") == 0) {
        std::fputs(kToolUsage, out);
    } else if (shortens("--version")) {
        std::fprintf(out, "vdetool %s\n", VDETOOL_VERSION);
    } else if (std::strcmp(first, "help") == 0) {
        status = RunHelp(tool, argc - 2, argv + 2);
    } else if (const CommandEntry* command = FindCommand(first)) {
        status = command->run(tool, argc - 2, argv + 2);
    } else {
        const bool option = first[0] == '-';
        return UsageError(
            tool, nullptr,
            UnknownName(option ? "option" : "command", first,
                        option ? std::vector<std::string>{"--help", "--version"} : CommandNames()));
    }
    // Output that never arrived (a full disk behind a redirection) is a
    // failed command, not a success.
    errno = 0;
    if ((std::fflush(out) != 0 || std::ferror(out) != 0) && status == 0) {
        return FailStandardOutput(tool);
    }
    return status;
}
