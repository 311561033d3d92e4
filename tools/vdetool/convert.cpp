// convert: pictures to 8-bit pictures in the palette; palette: the palette in
// drawing programs' formats.
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "commands.h"
#include "huge_pages.h"
#include "picture_file.h"
#include "picture_limits.h"
#include "safe_write.h"
#include "vdetool.h"

namespace {

// --format bmp|png; false, with the usage error reported, for another.
bool ReadPictureFormat(Tool& tool, const ParsedArguments& parsed, const PictureFormat** format,
                       PictureFormat& storage) {
    *format = nullptr;
    const std::string* name = OptionValue(parsed, "format");
    if (!name) return true;
    if (strcasecmp(name->c_str(), "bmp") == 0 || strcasecmp(name->c_str(), "png") == 0) {
        storage = strcasecmp(name->c_str(), "png") == 0 ? PictureFormat::kPng : PictureFormat::kBmp;
        *format = &storage;
        return true;
    }
    UsageError(tool, "convert", "convert: --format is bmp or png, not '" + *name + "'");
    return false;
}

// Converts one picture. `format` is the format to write; null for output to
// standard output without --format, which keeps the input's.
int ConvertOne(Tool& tool, const std::string& input, const std::string& output,
               const PictureFormat* format, const SDL_Color* palette,
               const ConversionOptions& options) {
    PictureFormat read = PictureFormat::kBmp;
    MatchedPicture picture;
    if (!ReadMatched(tool, input, palette, options, &read, picture)) return kStatusFailed;
    Problem problem;
    const IndexedPicture& indexed = picture.indexed;
    const PictureFormat written = format ? *format : read;
    if (output == "-") {
        if (!WritePictureContent(tool.out, written, indexed, &problem)) {
            return Fail(tool, "standard output", problem.reason);
        }
    } else if (!WriteIndexedPicture(output.c_str(), written, indexed, &problem)) {
        return Fail(tool, output, problem.reason);
    }
    return kStatusOk;
}

// DIR/NAME.EXT for the input DIR2/NAME.OTHER.
std::string OutputFor(const std::string& directory, const std::string& input,
                      PictureFormat format) {
    std::string name = input.substr(input.rfind('/') + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return directory + "/" + name + (format == PictureFormat::kPng ? ".png" : ".bmp");
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int ConvertBatch(Tool& tool, const std::string& directory, const ParsedArguments& parsed,
                 PictureFormat format, const SDL_Color* palette, const ConversionOptions& options) {
    struct stat info;
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return Fail(tool, directory, "not a directory that exists");
    }
    // The inputs' files, so that no picture's output replaces another input
    // (`-o . a.png a.bmp` would write a.bmp over the user's own before it
    // is read). A picture may replace itself, as `convert a.bmp a.bmp` does.
    const std::vector<std::string>& inputs = parsed.operands;
    std::vector<struct stat> files(inputs.size());
    std::vector<bool> found(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) found[i] = stat(inputs[i].c_str(), &files[i]) == 0;
    int status = kStatusOk;
    std::vector<struct stat> written;  // the files made so far
    for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string output = OutputFor(directory, inputs[i], format);
        struct stat target;
        const bool exists = stat(output.c_str(), &target) == 0;
        const auto is = [&](const struct stat& file) { return exists && SameFile(file, target); };
        const bool itself = found[i] && is(files[i]);
        bool earlier = false, another = false;
        for (const struct stat& made : written) earlier = earlier || is(made);
        for (size_t j = 0; j < inputs.size(); ++j) another = another || (found[j] && is(files[j]));
        // Two inputs of one name (a/x.png, b/x.bmp, or x.png and X.bmp where
        // case does not count) would write one file.
        if (earlier) {
            status = Fail(tool, inputs[i], output + " is written from an earlier picture");
        } else if (another && !itself) {
            status = Fail(tool, inputs[i], output + " is one of the pictures to convert");
        } else if (ConvertOne(tool, inputs[i], output, &format, palette, options) != kStatusOk) {
            status = kStatusFailed;
        } else if (stat(output.c_str(), &target) == 0) {
            written.push_back(target);
        }
    }
    return status;
}

}  // namespace

int RunConvert(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    const std::vector<OptionRule> rules = {
        {"output", 'o', true}, {"format", 0, true},     {"palette", 0, true},
        {"dither", 0, true},   {"background", 0, true},
    };
    if (!ParseCommand(tool, "convert", argc, argv, rules, parsed, status)) return status;
    const std::string* directory = OptionValue(parsed, "output");
    if (directory ? parsed.operands.empty() : parsed.operands.size() != 2) {
        return UsageError(tool, "convert",
                          directory ? "convert: give the pictures to read"
                                    : "convert: give the picture to read and the one to write");
    }
    PictureFormat storage;
    const PictureFormat* given = nullptr;
    ConversionOptions options;
    if (!ReadPictureFormat(tool, parsed, &given, storage) ||
        !ReadConversionOptions(tool, "convert", parsed, options)) {
        return kStatusUsage;
    }
    PictureFormat format = given ? *given : PictureFormat::kBmp;
    const std::string& output = directory ? *directory : parsed.operands[1];
    if (!directory && !given && output != "-" && !PictureFormatFromName(output.c_str(), &format)) {
        return UsageError(tool, "convert",
                          "convert: '" + output + "' does not end in .bmp or .png");
    }
    if (directory &&
        std::find(parsed.operands.begin(), parsed.operands.end(), "-") != parsed.operands.end()) {
        return UsageError(tool, "convert", "convert: standard input has no name to write under");
    }
    SDL_Color palette[kPaletteEntries];
    if (!LoadPalette(tool, parsed, palette)) return kStatusFailed;
    // Room for the largest picture of 32 bits, the block that dominates a
    // conversion (its match is written over it); without huge pages, first
    // writing it can cost more than the conversion itself.
    ServeBlocksFromHugePages(4 * size_t{kMaxPicturePixels} + (size_t{16} << 20));
    if (directory) return ConvertBatch(tool, *directory, parsed, format, palette, options);
    const bool keepInputFormat = output == "-" && !given;
    return ConvertOne(tool, parsed.operands[0], output, keepInputFormat ? nullptr : &format,
                      palette, options);
}
