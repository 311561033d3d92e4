// palette: the palette in the formats drawing programs read.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "commands.h"
#include "picture_file.h"
#include "safe_write.h"
#include "vdetool.h"

namespace {

enum class PaletteFormat { kGimp, kPhotoshop, kHex, kSwatch };

const struct {
    const char* name;
    PaletteFormat format;
} kFormats[] = {{"gpl", PaletteFormat::kGimp},
                {"act", PaletteFormat::kPhotoshop},
                {"hex", PaletteFormat::kHex},
                {"png", PaletteFormat::kSwatch}};

bool FormatNamed(const char* name, PaletteFormat* format) {
    const auto* known =
        std::find_if(std::begin(kFormats), std::end(kFormats),
                     [name](const auto& f) { return strcasecmp(name, f.name) == 0; });
    if (known == std::end(kFormats)) return false;
    *format = known->format;
    return true;
}

struct PaletteWrite {
    PaletteFormat format;
    const SDL_Color* colours;
    std::string name;  // for the GIMP palette's Name line
};

bool WritePalette(FILE* out, const void* context) {
    const auto& write = *static_cast<const PaletteWrite*>(context);
    const SDL_Color* c = write.colours;
    switch (write.format) {
        case PaletteFormat::kGimp:
            if (std::fprintf(out, "GIMP Palette\nName: %s\nColumns: 16\n#\n", write.name.c_str()) <
                0) {
                return false;
            }
            for (int i = 0; i < kPaletteEntries; ++i) {
                if (std::fprintf(out, "%3d %3d %3d\tIndex %d\n", c[i].r, c[i].g, c[i].b, i) < 0) {
                    return false;
                }
            }
            return true;
        case PaletteFormat::kPhotoshop:
            for (int i = 0; i < kPaletteEntries; ++i) {
                const uint8_t rgb[3] = {c[i].r, c[i].g, c[i].b};
                if (std::fwrite(rgb, 1, sizeof rgb, out) != sizeof rgb) return false;
            }
            return true;
        case PaletteFormat::kHex:
            for (int i = 0; i < kPaletteEntries; ++i) {
                if (std::fprintf(out, "%02x%02x%02x\n", c[i].r, c[i].g, c[i].b) < 0) return false;
            }
            return true;
        case PaletteFormat::kSwatch:
            break;
    }
    // 16 x 16 squares of 16 x 16 pixels, index 0 top left, row by row.
    constexpr uint32_t kSide = 256;
    std::vector<uint8_t> pixels(size_t{kSide} * kSide);
    for (uint32_t y = 0; y < kSide; ++y) {
        for (uint32_t x = 0; x < kSide; ++x) {
            pixels[y * kSide + x] = static_cast<uint8_t>(y / 16 * 16 + x / 16);
        }
    }
    return WritePictureContent(out, PictureFormat::kPng, {pixels.data(), kSide, kSide, kSide, c},
                               nullptr);
}

}  // namespace

int RunPalette(Tool& tool, int argc, const char* const* argv) {
    ParsedArguments parsed;
    int status = kStatusOk;
    const std::vector<OptionRule> rules = {{"format", 0, true}, {"palette", 0, true}};
    if (!ParseCommand(tool, "palette", argc, argv, rules, parsed, status)) return status;
    if (parsed.operands.size() != 1) {
        return UsageError(tool, "palette", "palette: give the file to write");
    }
    const std::string& output = parsed.operands[0];
    const std::string* given = OptionValue(parsed, "format");
    const size_t dot = output.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : output.substr(dot + 1);
    PaletteFormat format;
    if (!FormatNamed(given ? given->c_str() : extension.c_str(), &format)) {
        return UsageError(
            tool, "palette",
            given ? "palette: --format is gpl, act, hex or png, not '" + *given + "'"
                  : "palette: '" + output +
                        "' does not end in .gpl, .act, .hex or .png (or give --format)");
    }
    SDL_Color palette[kPaletteEntries];
    if (!LoadPalette(tool, parsed, palette)) return kStatusFailed;
    const std::string* source = OptionValue(parsed, "palette");
    std::string name = source ? source->substr(source->rfind('/') + 1) : "menu.pal";
    if (name.rfind('.') != std::string::npos) name.resize(name.rfind('.'));
    const PaletteWrite write{format, palette, name};
    if (output == "-") {
        errno = 0;
        if (WritePalette(tool.out, &write) && std::fflush(tool.out) == 0) return kStatusOk;
        return FailStandardOutput(tool);
    }
    Problem problem;
    if (!ReplaceFile(output.c_str(), &WritePalette, &write, &problem)) {
        return Fail(tool, output, problem.reason);
    }
    return kStatusOk;
}
