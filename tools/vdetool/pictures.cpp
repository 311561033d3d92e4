// unpack, pack and convert: pictures out of and into episode files.
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "commands.h"
#include "cp850.h"
#include "picture_file.h"
#include "picture_packing.h"
#include "vdetool.h"

namespace {

using OwnedSurface = std::unique_ptr<SDL_Surface, void (*)(SDL_Surface*)>;

OwnedSurface NoSurface() {
    return OwnedSurface(nullptr, &SDL_FreeSurface);
}

// A picture file as an 8-bit picture in `palette`; null, with the failure
// reported, when it cannot be read or converted.
OwnedSurface ReadInPalette(Tool& tool, const std::string& path, const SDL_Color* palette) {
    PictureProblem problem;
    SDL_Surface* picture = ReadPictureFile(path.c_str(), &problem);
    if (!picture) {
        Fail(tool, path, problem.reason);
        return NoSurface();
    }
    if (!ConvertToPalette(&picture, palette)) {
        SDL_FreeSurface(picture);
        Fail(tool, path, "cannot convert the picture to the palette (out of memory)");
        return NoSurface();
    }
    return OwnedSurface(picture, &SDL_FreeSurface);
}

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

const char* ErrnoText() {
    return errno ? std::strerror(errno) : "write failed";
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
    EpisodeReadReport report;
    errno = 0;
    if (!ReadEpisodeFile(episode.record, path.c_str(), &report)) {
        return Fail(tool, path, std::string("cannot open: ") + ErrnoText());
    }
    if (!report.complete) return Fail(tool, path, report.detail);
    if (!UnpackPictures(episode.record)) return Fail(tool, path, UnpackProblem(episode.record));

    // Every picture is whole in memory before the first file is written.
    struct stat info;
    if (stat(directory.c_str(), &info) != 0) {
        if (mkdir(directory.c_str(), 0777) != 0) {
            return Fail(tool, directory,
                        std::string("cannot make the directory: ") + std::strerror(errno));
        }
    } else if (!S_ISDIR(info.st_mode)) {
        return Fail(tool, directory, "not a directory");
    }
    const EpisodeHeader& h = episode.record.header;
    const struct {
        const char* name;
        const uint8_t* pixels;
        uint32_t width, height;
    } pictures[] = {
        {"Image", episode.record.imagePixels, h.imageWidth, h.imageHeight},
        {"Title", episode.record.titlePixels, h.titleWidth, h.titleHeight},
        {"LowTitle", episode.record.lowTitlePixels, h.titleWidth, h.titleHeight},
    };
    for (const auto& picture : pictures) {
        const std::string target = directory + "/" + picture.name + extension;
        PictureProblem problem;
        if (!WriteIndexedPicture(target.c_str(), format, picture.pixels, picture.width,
                                 picture.height, picture.width, palette, &problem)) {
            return Fail(tool, target, problem.reason);
        }
    }
    return kStatusOk;
}

int RunPack(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    const std::vector<OptionRule> rules = {
        {"output", 'o', true}, {"image", 0, true},    {"title", 0, true},
        {"lowtitle", 0, true}, {"name", 0, true},     {"start-level", 0, true},
        {"place", 0, true},    {"template", 0, true}, {"palette", 0, true},
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
    char name[kNameSize];
    char startLevel[kStartLevelSize];
    uint32_t place = 0;
    const std::string* nameText = OptionValue(parsed, "name");
    const std::string* levelText = OptionValue(parsed, "start-level");
    const std::string* placeText = OptionValue(parsed, "place");
    if (nameText && !EncodeField(tool, "name", *nameText, name, sizeof name)) return kStatusUsage;
    if (levelText && !EncodeField(tool, "start-level", *levelText, startLevel, sizeof startLevel)) {
        return kStatusUsage;
    }
    if (placeText && !ParsePlace(*placeText, &place)) {
        return UsageError(
            tool, "pack",
            "pack: --place is a number from 0 to 4294967295, not '" + *placeText + "'");
    }
    SDL_Color palette[kPaletteEntries];
    if (!LoadPalette(tool, parsed, palette)) return kStatusFailed;

    OwnedEpisode episode;
    EpisodeRecord& record = episode.record;
    if (const std::string* templatePath = OptionValue(parsed, "template")) {
        EpisodeReadReport report;
        errno = 0;
        if (!ReadEpisodeFile(record, templatePath->c_str(), &report)) {
            return Fail(tool, *templatePath, std::string("cannot open: ") + ErrnoText());
        }
        if (!report.complete) return Fail(tool, *templatePath, report.detail);
    } else {
        // A fresh editor's episode.
        ResetEpisode(record);
        SetEpisodeName(record, "#Kelto@Episode");
        SetStartLevel(record, "CASTLE1.VLV");
    }
    if (nameText) SetEpisodeName(record, name);
    if (levelText) SetStartLevel(record, startLevel);
    if (placeText) record.header.listPlace = place;

    const std::string& imagePath = *OptionValue(parsed, "image");
    const std::string& titlePath = *OptionValue(parsed, "title");
    const std::string& lowTitlePath = *OptionValue(parsed, "lowtitle");
    const OwnedSurface image = ReadInPalette(tool, imagePath, palette);
    if (!image) return kStatusFailed;
    const OwnedSurface title = ReadInPalette(tool, titlePath, palette);
    if (!title) return kStatusFailed;
    const OwnedSurface lowTitle = ReadInPalette(tool, lowTitlePath, palette);
    if (!lowTitle) return kStatusFailed;
    if (title->w != lowTitle->w || title->h != lowTitle->h) {
        char reason[128];
        std::snprintf(reason, sizeof reason, "Title and LowTitle differ in size (%dx%d and %dx%d)",
                      title->w, title->h, lowTitle->w, lowTitle->h);
        return Fail(tool, lowTitlePath, reason);
    }

    // What the editor's Save VDE does with its three pictures.
    const std::string& output = *OptionValue(parsed, "output");
    FreeEpisodeBuffers(record);
    if (!SurfacesToBuffers(record, image.get(), title.get(), lowTitle.get())) {
        return Fail(tool, output, "the pictures cannot be put into an episode");
    }
    if (!PackPictures(record)) return Fail(tool, output, "compressing the pictures failed");
    errno = 0;
    if (!WriteEpisodeFile(record, output.c_str())) {
        return Fail(tool, output, std::string("cannot write: ") + ErrnoText());
    }
    return kStatusOk;
}

int RunConvert(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    if (!ParseCommand(tool, "convert", argc, argv, {{"palette", 0, true}}, parsed, status)) {
        return status;
    }
    if (parsed.operands.size() != 2) {
        return UsageError(tool, "convert",
                          "convert: give the picture to read and the one to write");
    }
    const std::string& input = parsed.operands[0];
    const std::string& output = parsed.operands[1];
    PictureFormat format;
    if (!PictureFormatFromName(output.c_str(), &format)) {
        return UsageError(tool, "convert",
                          "convert: '" + output + "' does not end in .bmp or .png");
    }
    SDL_Color palette[kPaletteEntries];
    if (!LoadPalette(tool, parsed, palette)) return kStatusFailed;
    const OwnedSurface picture = ReadInPalette(tool, input, palette);
    if (!picture) return kStatusFailed;
    PictureProblem problem;
    if (!WriteIndexedPicture(output.c_str(), format, static_cast<const uint8_t*>(picture->pixels),
                             static_cast<uint32_t>(picture->w), static_cast<uint32_t>(picture->h),
                             static_cast<size_t>(picture->pitch), palette, &problem)) {
        return Fail(tool, output, problem.reason);
    }
    return kStatusOk;
}
