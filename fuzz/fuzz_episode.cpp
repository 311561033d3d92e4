// Arbitrary bytes as an episode file through what Load VDE does:
// ReadEpisodeFile, UnpackPictures, BuffersToSurfaces. A complete file written
// back must be a prefix of its input, and pictures that unpack must come back
// the same after a save and a load.
#include <cstring>
#include <iterator>

#include "episode_file.h"
#include "picture_packing.h"
#include "reference_palette.h"
#include "scratch.h"

namespace {

SDL_Color palette[kPaletteEntries];  // all black, as good as any

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ReferencePalette = palette;
    const std::string saved = ScratchFile(".out.vde", data, 0);
    EpisodeRecord episode, again;
    EpisodeReadReport report;
    Require(ReadEpisodeFile(episode, ScratchFile(".vde", data, size).c_str(), &report));
    if (report.complete) {
        Require(WriteEpisodeFile(episode, saved.c_str()));
        std::ifstream file(saved, std::ios::binary);
        const std::string written{std::istreambuf_iterator<char>(file), {}};
        Require(written.size() <= size && std::memcmp(written.data(), data, written.size()) == 0);
    }
    const EpisodeHeader& h = episode.header;
    const size_t sizes[] = {size_t{h.imageWidth} * h.imageHeight,
                            size_t{h.titleWidth} * h.titleHeight};
    SDL_Surface* slots[3] = {};
    // Compressing is slow for large pictures: those are only unpacked.
    if (UnpackPictures(episode) && BuffersToSurfaces(episode, &slots[0], &slots[1], &slots[2]) &&
        sizes[0] + 2 * sizes[1] <= 1 << 18) {
        again.header = h;
        Require(SurfacesToBuffers(again, slots[0], slots[1], slots[2]) && PackPictures(again) &&
                WriteEpisodeFile(again, saved.c_str()) && ReadEpisodeFile(again, saved.c_str()) &&
                UnpackPictures(again));
        Require(std::memcmp(again.imagePixels, episode.imagePixels, sizes[0]) == 0 &&
                std::memcmp(again.titlePixels, episode.titlePixels, sizes[1]) == 0 &&
                std::memcmp(again.lowTitlePixels, episode.lowTitlePixels, sizes[1]) == 0);
    }
    for (SDL_Surface* surface : slots) SDL_FreeSurface(surface);
    FreeEpisodeBuffers(episode);
    FreeEpisodeBuffers(again);
    return 0;
}
