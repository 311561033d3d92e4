// Arbitrary bytes as an episode file through what Load VDE does:
// ReadEpisodeFile, UnpackPictures, BuffersToSurfaces. Every file that vdetool
// check calls sound (whole, and its pictures unpack) must load in the
// editor's own path, and its pictures come back the same after a save and a
// load.
#include <cstring>

#include "episode_file.h"
#include "picture_packing.h"
#include "reference_palette.h"
#include "scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SDL_Color palette[kPaletteEntries];  // all black, as good as any
    ReferencePalette = palette;
    const std::string saved = ScratchFile(".saved.vde", data, 0);
    EpisodeRecord episode, again;
    EpisodeReadReport report;
    REQUIRE(ReadEpisodeFile(episode, ScratchFile(".vde", data, size).c_str(), &report));
    const EpisodeHeader& h = episode.header;
    const size_t sizes[] = {size_t{h.imageWidth} * h.imageHeight,
                            size_t{h.titleWidth} * h.titleHeight};
    SDL_Surface* s[3] = {};
    const bool sound = report.complete && UnpackPictures(episode);
    REQUIRE(!sound || BuffersToSurfaces(episode, &s[0], &s[1], &s[2]));
    // Compressing is slow for large pictures: those are only unpacked.
    if (sound && sizes[0] + 2 * sizes[1] <= 1 << 18) {
        again.header = h;
        REQUIRE(SurfacesToBuffers(again, s[0], s[1], s[2]) && PackPictures(again) &&
                WriteEpisodeFile(again, saved.c_str()) && ReadEpisodeFile(again, saved.c_str()) &&
                UnpackPictures(again));
        REQUIRE(!std::memcmp(again.imagePixels, episode.imagePixels, sizes[0]) &&
                !std::memcmp(again.titlePixels, episode.titlePixels, sizes[1]) &&
                !std::memcmp(again.lowTitlePixels, episode.lowTitlePixels, sizes[1]));
    }
    for (SDL_Surface* surface : s) SDL_FreeSurface(surface);
    FreeEpisodeBuffers(episode);
    FreeEpisodeBuffers(again);
    return 0;
}
