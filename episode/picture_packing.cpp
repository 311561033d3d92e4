#include "picture_packing.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "reference_palette.h"

namespace {

const char* const kSlotNames[] = {"Image", "Title", "LowTitle"};

void Release(uint8_t*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

// Decompresses one blob into its buffer; false, with the reason, on any zlib
// result but Z_OK.
bool Unpack(const Blob& blob, uint8_t* pixels, uint32_t width, uint32_t height, const char* slot,
            Problem* problem) {
    uLongf produced = static_cast<uLongf>(uint64_t{width} * height);
    // uncompress, telling how much of the blob it read: a stream that fills
    // the picture exactly and then ends early (no check value) is cut short,
    // not too long.
    uLong read = blob.length;
    const int result = uncompress2(pixels, &produced, blob.data, &read);
    if (result == Z_OK) return true;
    if (result == Z_MEM_ERROR) {
        SetProblem(problem, "out of memory");
    } else if (result == Z_BUF_ERROR && read < blob.length) {
        SetProblem(problem, "the %s blob holds more than its %lux%lu pixels", slot,
                   static_cast<unsigned long>(width), static_cast<unsigned long>(height));
    } else {
        SetProblem(problem, "the %s blob is not a whole zlib stream (%lux%lu pixels)", slot,
                   static_cast<unsigned long>(width), static_cast<unsigned long>(height));
    }
    return false;
}

// False, with the reason, when the slot's blob cannot fill a picture of
// `bytes` pixels: it is missing, empty, or far too short.
bool BlobCanFill(const Blob& blob, uint64_t bytes, const char* slot, Problem* problem) {
    if (blob.length == 0 || !blob.data) {
        SetProblem(problem, "the %s blob is empty", slot);
        return false;
    }
    if (bytes > MostThatCanUnpack(blob.length)) {
        SetProblem(problem, "the %s blob (%lu bytes) is far too short for its %llu pixels", slot,
                   static_cast<unsigned long>(blob.length), static_cast<unsigned long long>(bytes));
        return false;
    }
    return true;
}

bool Pack(const uint8_t* pixels, uint64_t size, Blob& blob, uLong capacity) {
    uLongf produced = capacity;
    if (compress2(blob.data, &produced, pixels, static_cast<uLong>(size), 9) != Z_OK) return false;
    blob.length = static_cast<uint32_t>(produced);
    return true;
}

void CopyIntoSurface(const uint8_t* pixels, uint32_t width, uint32_t height, SDL_Surface* surface) {
    auto* rows = static_cast<uint8_t*>(surface->pixels);
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(rows + static_cast<size_t>(y) * surface->pitch,
                    pixels + static_cast<size_t>(y) * width, width);
    }
}

void CopyFromSurface(const SDL_Surface* surface, uint8_t* pixels) {
    const auto* rows = static_cast<const uint8_t*>(surface->pixels);
    const size_t width = static_cast<size_t>(surface->w);
    for (int y = 0; y < surface->h; ++y) {
        std::memcpy(pixels + static_cast<size_t>(y) * width,
                    rows + static_cast<size_t>(y) * surface->pitch, width);
    }
}

SDL_Surface* MakeSurface(uint32_t width, uint32_t height) {
    SDL_Surface* surface =
        SDL_CreateRGBSurface(0, static_cast<int>(width), static_cast<int>(height), 8, 0, 0, 0, 0);
    if (!surface) return nullptr;
    if (!surface->pixels || !surface->format || surface->format->BitsPerPixel != 8 ||
        surface->pitch < width) {
        SDL_FreeSurface(surface);
        return nullptr;
    }
    SDL_SetColors(surface, ReferencePalette, 0, kPaletteEntries);
    return surface;
}

// A surface the pictures can be taken from: 8 bits a pixel, readable rows,
// and a size an episode can hold and load again.
bool UsableSurface(const SDL_Surface* surface) {
    return surface && surface->format && surface->format->BitsPerPixel == 8 && surface->pixels &&
           surface->w > 0 && surface->h > 0 && surface->pitch >= surface->w &&
           PictureBytes(static_cast<uint32_t>(surface->w), static_cast<uint32_t>(surface->h)) > 0;
}

}  // namespace

bool UnpackPictures(EpisodeRecord& episode, Problem* problem) {
    // Gone before any check: old buffers must never pass for pictures of the
    // header's new sizes.
    uint8_t** buffers[] = {&episode.imagePixels, &episode.titlePixels, &episode.lowTitlePixels};
    for (uint8_t** buffer : buffers) Release(*buffer);
    const EpisodeHeader& h = episode.header;
    const uint32_t widths[] = {h.imageWidth, h.titleWidth, h.titleWidth};
    const uint32_t heights[] = {h.imageHeight, h.titleHeight, h.titleHeight};
    for (int slot = 0; slot < 2; ++slot) {
        if (PictureBytes(widths[slot], heights[slot]) == 0) {
            SetProblem(problem,
                       "the %s size %lux%lu is not a picture size (1 to %u a side, at most %u "
                       "pixels)",
                       kSlotNames[slot], static_cast<unsigned long>(widths[slot]),
                       static_cast<unsigned long>(heights[slot]), kMaxPictureSide,
                       kMaxPicturePixels);
            return false;
        }
    }
    const Blob* blobs[] = {&episode.imageBlob, &episode.titleBlob, &episode.lowTitleBlob};
    uint64_t sizes[3];
    for (int slot = 0; slot < 3; ++slot) {
        sizes[slot] = PictureBytes(widths[slot], heights[slot]);
        if (!BlobCanFill(*blobs[slot], sizes[slot], kSlotNames[slot], problem)) return false;
    }

    for (int slot = 0; slot < 3; ++slot) {
        // Zero-filled: a stream that ends early leaves colour index 0, never
        // whatever the heap held before.
        *buffers[slot] = static_cast<uint8_t*>(std::calloc(sizes[slot], 1));
        if (!*buffers[slot]) {
            SetProblem(problem, "out of memory");
            return false;
        }
    }
    for (int slot = 0; slot < 3; ++slot) {
        if (!Unpack(*blobs[slot], *buffers[slot], widths[slot], heights[slot], kSlotNames[slot],
                    problem)) {
            return false;
        }
    }
    return true;
}

bool PackPictures(EpisodeRecord& episode) {
    const EpisodeHeader& h = episode.header;
    const uint64_t imageSize = PictureBytes(h.imageWidth, h.imageHeight);
    const uint64_t titleSize = PictureBytes(h.titleWidth, h.titleHeight);
    if (imageSize == 0 || titleSize == 0) return false;
    const uint8_t* pixels[] = {episode.imagePixels, episode.titlePixels, episode.lowTitlePixels};
    if (!pixels[0] || !pixels[1] || !pixels[2]) return false;

    Blob* blobs[] = {&episode.imageBlob, &episode.titleBlob, &episode.lowTitleBlob};
    const uint64_t sizes[] = {imageSize, titleSize, titleSize};
    uLong capacities[3];
    for (int slot = 0; slot < 3; ++slot) {
        capacities[slot] = compressBound(static_cast<uLong>(sizes[slot]));
        Blob& blob = *blobs[slot];
        std::free(blob.data);
        // Until compress2 has filled it, the new buffer holds nothing that
        // may reach a file.
        blob.length = 0;
        blob.data = static_cast<uint8_t*>(std::malloc(capacities[slot]));
        if (!blob.data) return false;
    }
    for (int slot = 0; slot < 3; ++slot) {
        if (!Pack(pixels[slot], sizes[slot], *blobs[slot], capacities[slot])) return false;
    }
    return true;
}

bool BuffersToSurfaces(EpisodeRecord& episode, SDL_Surface** image, SDL_Surface** title,
                       SDL_Surface** lowTitle) {
    if (!ReferencePalette || !image || !title || !lowTitle) return false;
    const uint8_t* pixels[] = {episode.imagePixels, episode.titlePixels, episode.lowTitlePixels};
    if (!pixels[0] || !pixels[1] || !pixels[2]) return false;
    const EpisodeHeader& h = episode.header;
    if (PictureBytes(h.imageWidth, h.imageHeight) == 0 ||
        PictureBytes(h.titleWidth, h.titleHeight) == 0) {
        return false;
    }

    const uint32_t widths[] = {h.imageWidth, h.titleWidth, h.titleWidth};
    const uint32_t heights[] = {h.imageHeight, h.titleHeight, h.titleHeight};
    SDL_Surface* made[3] = {};
    for (int slot = 0; slot < 3; ++slot) {
        made[slot] = MakeSurface(widths[slot], heights[slot]);
        if (!made[slot]) {
            // The slots keep the pictures they had rather than a partial set.
            for (SDL_Surface* surface : made) SDL_FreeSurface(surface);
            return false;
        }
        CopyIntoSurface(pixels[slot], widths[slot], heights[slot], made[slot]);
    }

    SDL_Surface** slots[] = {image, title, lowTitle};
    for (int slot = 0; slot < 3; ++slot) {
        SDL_FreeSurface(*slots[slot]);
        *slots[slot] = made[slot];
    }
    return true;
}

bool SurfacesToBuffers(EpisodeRecord& episode, SDL_Surface* image, SDL_Surface* title,
                       SDL_Surface* lowTitle) {
    if (!UsableSurface(image) || !UsableSurface(title) || !UsableSurface(lowTitle)) return false;

    EpisodeHeader& h = episode.header;
    h.imageWidth = static_cast<uint32_t>(image->w);
    h.imageHeight = static_cast<uint32_t>(image->h);
    h.titleWidth = static_cast<uint32_t>(title->w);
    h.titleHeight = static_cast<uint32_t>(title->h);
    uint8_t** buffers[] = {&episode.imagePixels, &episode.titlePixels, &episode.lowTitlePixels};
    for (uint8_t** buffer : buffers) Release(*buffer);
    // The file has one size for both titles; a LowTitle of another shape
    // would be read with the Title's rows and run past its own.
    if (lowTitle->w != title->w || lowTitle->h != title->h) return false;

    SDL_Surface* surfaces[] = {image, title, lowTitle};
    for (int slot = 0; slot < 3; ++slot) {
        const size_t bytes = static_cast<size_t>(surfaces[slot]->w) * surfaces[slot]->h;
        *buffers[slot] = static_cast<uint8_t*>(std::malloc(bytes));
        if (!*buffers[slot]) {
            for (uint8_t** buffer : buffers) Release(*buffer);
            return false;
        }
    }
    for (int slot = 0; slot < 3; ++slot) CopyFromSurface(surfaces[slot], *buffers[slot]);
    return true;
}
