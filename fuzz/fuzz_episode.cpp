// Arbitrary bytes as an episode file, through the whole of "Load VDE":
// ReadEpisodeFile, UnpackPictures, BuffersToSurfaces. Besides crashes and
// sanitizer reports, a finding is any break of what loading promises:
//  - the record holds exactly what an independent walk of the bytes finds
//    whole (header only when all 208 bytes are there, blobs up to the first
//    damaged one, the rest empty);
//  - a complete file written back gives its own bytes, less any trailer;
//  - pictures that unpack become surfaces, and saved and loaded again they
//    give the same pixels.
#include <SDL.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "episode_file.h"
#include "episode_record.h"
#include "picture_packing.h"
#include "reference_palette.h"

namespace {

std::string directory, inputPath, outputPath;
SDL_Color palette[kPaletteEntries];

void Require(bool holds) {
    if (!holds) std::abort();
}

uint32_t Le32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

std::vector<uint8_t> ReadWhole(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return bytes;
}

void RemoveFiles() {
    unlink(inputPath.c_str());
    unlink(outputPath.c_str());
    rmdir(directory.c_str());
}

// The part of the input the record must reflect: where each whole blob lies,
// and where the file stops being whole.
struct Walk {
    bool headerWhole = false;
    size_t blobAt[3] = {};
    uint32_t blobLength[3] = {};
    int wholeBlobs = 0;
    size_t end = 0;  // bytes up to the end of the last whole part
};

Walk WalkBytes(const uint8_t* data, size_t size) {
    Walk walk;
    if (size < kEpisodeHeaderBytes) return walk;
    walk.headerWhole = true;
    size_t at = kEpisodeHeaderBytes;
    for (int slot = 0; slot < 3; ++slot) {
        if (size - at < 4) break;
        const uint32_t length = Le32(data + at);
        if (length > size - at - 4) break;
        walk.blobAt[slot] = at + 4;
        walk.blobLength[slot] = length;
        walk.wholeBlobs = slot + 1;
        at += 4 + static_cast<size_t>(length);
    }
    walk.end = at;
    return walk;
}

// Saving the surfaces and loading the file again must give the pixels back.
void CheckSaveAndLoad(const EpisodeRecord& loaded, SDL_Surface* slots[3]) {
    const EpisodeHeader& h = loaded.header;
    const size_t sizes[] = {size_t{h.imageWidth} * h.imageHeight,
                            size_t{h.titleWidth} * h.titleHeight,
                            size_t{h.titleWidth} * h.titleHeight};
    EpisodeRecord saved;
    saved.header = h;
    Require(SurfacesToBuffers(saved, slots[0], slots[1], slots[2]));
    Require(PackPictures(saved));
    Require(WriteEpisodeFile(saved, outputPath.c_str()));
    EpisodeRecord again;
    EpisodeReadReport report;
    Require(ReadEpisodeFile(again, outputPath.c_str(), &report) && report.complete);
    Require(UnpackPictures(again));
    const uint8_t* before[] = {loaded.imagePixels, loaded.titlePixels, loaded.lowTitlePixels};
    const uint8_t* after[] = {again.imagePixels, again.titlePixels, again.lowTitlePixels};
    for (int slot = 0; slot < 3; ++slot) {
        Require(std::memcmp(before[slot], after[slot], sizes[slot]) == 0);
    }
    FreeEpisodeBuffers(saved);
    FreeEpisodeBuffers(again);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) < 0) std::abort();
    for (int i = 0; i < kPaletteEntries; ++i) {
        palette[i] = SDL_Color{static_cast<Uint8>(i), static_cast<Uint8>(255 - i),
                               static_cast<Uint8>(i ^ 0x5A), 0};
    }
    ReferencePalette = palette;
    // Every input is written, read and saved as a real file; on a memory file
    // system the fsync of each save costs nothing.
    const char* tmp = std::getenv("TMPDIR");
    if (!tmp || !*tmp) tmp = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(tmp) + "/vde-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0])) std::abort();
    directory = pattern;
    inputPath = directory + "/in.vde";
    outputPath = directory + "/out.vde";
    std::atexit(RemoveFiles);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Require(WriteWhole(inputPath, data, size));
    EpisodeRecord episode;
    ResetEpisode(episode);
    uint8_t before[kEpisodeHeaderBytes];
    EncodeEpisodeHeader(episode.header, before);
    EpisodeReadReport report;
    Require(ReadEpisodeFile(episode, inputPath.c_str(), &report));

    const Walk walk = WalkBytes(data, size);
    Require(report.fileSize == size);
    Require(report.complete == (walk.wholeBlobs == 3));
    uint8_t header[kEpisodeHeaderBytes];
    EncodeEpisodeHeader(episode.header, header);
    Require(std::memcmp(header, walk.headerWhole ? data : before, sizeof header) == 0);
    const Blob* blobs[] = {&episode.imageBlob, &episode.titleBlob, &episode.lowTitleBlob};
    for (int slot = 0; slot < 3; ++slot) {
        const Blob& blob = *blobs[slot];
        if (slot < walk.wholeBlobs) {
            Require(blob.length == walk.blobLength[slot]);
            Require(blob.length == 0 ||
                    std::memcmp(blob.data, data + walk.blobAt[slot], blob.length) == 0);
        } else {
            Require(blob.length == 0 && blob.data == nullptr);
        }
    }

    if (report.complete) {
        Require(WriteEpisodeFile(episode, outputPath.c_str()));
        const std::vector<uint8_t> written = ReadWhole(outputPath);
        Require(written.size() == walk.end && std::memcmp(written.data(), data, walk.end) == 0);
    }

    if (UnpackPictures(episode)) {
        SDL_Surface* slots[3] = {};
        Require(BuffersToSurfaces(episode, &slots[0], &slots[1], &slots[2]));
        // Compressing at level 9 is slow; big pictures are checked by the
        // unpacking alone.
        const uint64_t pixels =
            uint64_t{episode.header.imageWidth} * episode.header.imageHeight +
            2 * uint64_t{episode.header.titleWidth} * episode.header.titleHeight;
        if (pixels <= 256 * 1024) CheckSaveAndLoad(episode, slots);
        for (SDL_Surface* surface : slots) SDL_FreeSurface(surface);
    }
    FreeEpisodeBuffers(episode);
    return 0;
}
