// unpack and pack: pictures out of and into episode files.
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "colour_match.h"
#include "commands.h"
#include "cp850.h"
#include "picture_file.h"
#include "picture_packing.h"
#include "safe_write.h"
#include "vdetool.h"

namespace {

// Encodes an option's text into a field of `size` bytes. False, with the
// usage error reported, when it cannot be.
bool EncodeField(Tool& tool, const char* option, const std::string& text, char* field,
                 size_t size) {
    Cp850EncodeFailure failure;
    if (Utf8ToCp850(text, field, size, &failure)) return true;
    char message[160];
    switch (failure.kind) {
        case Cp850EncodeFailure::kNotInCodePage:
            std::snprintf(message, sizeof message,
                          "pack: --%s: the character U+%04X is not in code page 850", option,
                          static_cast<unsigned>(failure.codePoint));
            break;
        case Cp850EncodeFailure::kTooLong:
            std::snprintf(message, sizeof message,
                          "pack: --%s: %zu characters, but the field holds at most %zu", option,
                          failure.length, size - 1);
            break;
        default:
            std::snprintf(message, sizeof message, "pack: --%s: the text is not valid UTF-8",
                          option);
            break;
    }
    UsageError(tool, "pack", message);
    return false;
}

// Decimal digits only, 0 to 4294967295.
bool ParsePlace(const std::string& text, uint32_t* place) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    *place = static_cast<uint32_t>(value);
    return true;
}

// Reads the episode file at `path` whole, or reports why not.
bool ReadWholeEpisode(Tool& tool, const std::string& path, EpisodeRecord& record) {
    EpisodeReadReport report;
    if (ReadEpisodeFile(record, path.c_str(), &report) && report.complete) return true;
    Fail(tool, path, report.problem.reason);
    return false;
}

// The directory for unpack's pictures, made when it does not exist.
bool MakeDirectory(Tool& tool, const std::string& directory) {
    struct stat info;
    if (stat(directory.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return true;
        Fail(tool, directory, "not a directory");
        return false;
    }
    if (mkdir(directory.c_str(), 0777) == 0) return true;
    Fail(tool, directory, std::string("cannot make the directory: ") + std::strerror(errno));
    return false;
}

// The header fields pack takes from its options, encoded; each is set only
// when given.
struct HeaderOptions {
    const std::string* name;
    const std::string* startLevel;
    const std::string* place;
    char nameField[kNameSize];
    char startLevelField[kStartLevelSize];
    uint32_t placeValue = 0;
};

// False, with the usage error reported, when an option cannot be stored.
bool ReadHeaderOptions(Tool& tool, const ParsedArguments& parsed, HeaderOptions& fields) {
    fields.name = OptionValue(parsed, "name");
    fields.startLevel = OptionValue(parsed, "start-level");
    fields.place = OptionValue(parsed, "place");
    // The editor refuses an empty name the same way: it would leave no name.
    if (fields.name && fields.name->empty()) {
        UsageError(tool, "pack", "pack: --name is empty");
        return false;
    }
    if (fields.name &&
        !EncodeField(tool, "name", *fields.name, fields.nameField, sizeof fields.nameField)) {
        return false;
    }
    if (fields.startLevel && !EncodeField(tool, "start-level", *fields.startLevel,
                                          fields.startLevelField, sizeof fields.startLevelField)) {
        return false;
    }
    if (fields.place && !ParsePlace(*fields.place, &fields.placeValue)) {
        UsageError(tool, "pack",
                   "pack: --place is a number from 0 to 4294967295, not '" + *fields.place + "'");
        return false;
    }
    return true;
}

// The header pack writes: the template's or a fresh editor's, then the
// fields given as options.
bool StartHeader(Tool& tool, const ParsedArguments& parsed, const HeaderOptions& fields,
                 EpisodeRecord& record) {
    if (const std::string* templatePath = OptionValue(parsed, "template")) {
        if (!ReadWholeEpisode(tool, *templatePath, record)) return false;
    } else {
        SetFreshEpisode(record);
    }
    if (fields.name) SetEpisodeName(record, fields.nameField);
    if (fields.startLevel) SetStartLevel(record, fields.startLevelField);
    if (fields.place) record.header.listPlace = fields.placeValue;
    return true;
}

// What the editor's Save VDE does with its three pictures.
int PackAndWrite(Tool& tool, EpisodeRecord& record, const OwnedSurface (&pictures)[3],
                 const std::string& output) {
    FreeEpisodeBuffers(record);
    if (!SurfacesToBuffers(record, pictures[0].get(), pictures[1].get(), pictures[2].get())) {
        return Fail(tool, output, "the pictures cannot be put into an episode");
    }
    if (!PackPictures(record)) return Fail(tool, output, "compressing the pictures failed");
    Problem problem;
    if (!WriteEpisodeFile(record, output.c_str(), &problem)) {
        return Fail(tool, output, problem.reason);
    }
    return kStatusOk;
}

}  // namespace

int RunUnpack(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    const std::vector<OptionRule> rules = {
        {"output", 'o', true}, {"format", 0, true}, {"palette", 0, true}};
    if (!ParseCommand(tool, "unpack", argc, argv, rules, parsed, status)) return status;
    if (parsed.operands.size() != 1) {
        return UsageError(tool, "unpack", "unpack: give one episode file");
    }
    PictureFormat format = PictureFormat::kBmp;
    const char* extension = ".bmp";
    if (const std::string* name = OptionValue(parsed, "format")) {
        if (strcasecmp(name->c_str(), "png") == 0) {
            format = PictureFormat::kPng;
            extension = ".png";
        } else if (strcasecmp(name->c_str(), "bmp") != 0) {
            return UsageError(tool, "unpack",
                              "unpack: --format is bmp or png, not '" + *name + "'");
        }
    }
    const std::string* output = OptionValue(parsed, "output");
    const std::string directory = output ? *output : ".";
    SDL_Color palette[kPaletteEntries];
    if (!LoadPalette(tool, parsed, palette)) return kStatusFailed;

    const std::string& path = parsed.operands[0];
    OwnedEpisode episode;
    if (!ReadWholeEpisode(tool, path, episode.record)) return kStatusFailed;
    Problem problem;
    if (!UnpackPictures(episode.record, &problem)) return Fail(tool, path, problem.reason);
    // Every picture is whole in memory before the first file is written,
    // and none replaces its file before all three are written.
    if (!MakeDirectory(tool, directory)) return kStatusFailed;
    const EpisodeHeader& h = episode.record.header;
    const char* const names[] = {"Image", "Title", "LowTitle"};
    const IndexedPicture pictures[] = {
        {episode.record.imagePixels, h.imageWidth, h.imageHeight, h.imageWidth, palette},
        {episode.record.titlePixels, h.titleWidth, h.titleHeight, h.titleWidth, palette},
        {episode.record.lowTitlePixels, h.titleWidth, h.titleHeight, h.titleWidth, palette},
    };
    FileReplacement files[3];
    for (int slot = 0; slot < 3; ++slot) {
        const std::string target = directory + "/" + names[slot] + extension;
        if (!BeginReplace(files[slot], target.c_str(), &problem) ||
            !WritePictureContent(files[slot].out, format, pictures[slot], &problem)) {
            for (FileReplacement& file : files) AbandonReplace(file);
            return Fail(tool, target, problem.reason);
        }
    }
    if (!CommitReplace(files, 3, &problem)) return Fail(tool, directory, problem.reason);
    return kStatusOk;
}

int RunPack(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    const std::vector<OptionRule> rules = {
        {"output", 'o', true}, {"image", 0, true},      {"title", 0, true},
        {"lowtitle", 0, true}, {"name", 0, true},       {"start-level", 0, true},
        {"place", 0, true},    {"template", 0, true},   {"palette", 0, true},
        {"dither", 0, true},   {"background", 0, true},
    };
    if (!ParseCommand(tool, "pack", argc, argv, rules, parsed, status)) return status;
    if (!parsed.operands.empty()) {
        return UsageError(tool, "pack",
                          "pack: unexpected '" + parsed.operands[0] +
                              "' (the files are given with their options)");
    }
    for (const char* required : {"output", "image", "title", "lowtitle"}) {
        if (!OptionValue(parsed, required)) {
            return UsageError(tool, "pack", std::string("pack: --") + required + " is missing");
        }
    }
    HeaderOptions fields;
    ConversionOptions options;
    if (!ReadHeaderOptions(tool, parsed, fields) ||
        !ReadConversionOptions(tool, "pack", parsed, options)) {
        return kStatusUsage;
    }
    SDL_Color palette[kPaletteEntries];
    if (!LoadPalette(tool, parsed, palette)) return kStatusFailed;
    OwnedEpisode episode;
    if (!StartHeader(tool, parsed, fields, episode.record)) return kStatusFailed;

    const std::string* paths[] = {OptionValue(parsed, "image"), OptionValue(parsed, "title"),
                                  OptionValue(parsed, "lowtitle")};
    OwnedSurface pictures[3] = {
        {nullptr, &SDL_FreeSurface}, {nullptr, &SDL_FreeSurface}, {nullptr, &SDL_FreeSurface}};
    for (int slot = 0; slot < 3; ++slot) {
        pictures[slot] = ReadInPalette(tool, *paths[slot], palette, options);
        if (!pictures[slot]) return kStatusFailed;
    }
    const SDL_Surface* title = pictures[1].get();
    const SDL_Surface* lowTitle = pictures[2].get();
    if (title->w != lowTitle->w || title->h != lowTitle->h) {
        char reason[128];
        std::snprintf(reason, sizeof reason, "Title and LowTitle differ in size (%dx%d and %dx%d)",
                      title->w, title->h, lowTitle->w, lowTitle->h);
        return Fail(tool, *paths[2], reason);
    }
    return PackAndWrite(tool, episode.record, pictures, *OptionValue(parsed, "output"));
}
