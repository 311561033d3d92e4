// convert: any picture to an 8-bit picture in the palette.
#include "commands.h"
#include "picture_file.h"
#include "vdetool.h"

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
    Problem problem;
    if (!WriteIndexedPicture(output.c_str(), format, PictureOf(picture.get()), &problem)) {
        return Fail(tool, output, problem.reason);
    }
    return kStatusOk;
}
