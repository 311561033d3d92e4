#include "episode_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "byte_order.h"
#include "input_file.h"
#include "picture_limits.h"
#include "safe_write.h"

namespace {

// Field offsets within the 208 header bytes.
enum : size_t {
    kAtHeaderSize = 0,
    kAtListPlace = 4,
    kAtEpisodeExtraA = 8,
    kAtEpisodeExtraB = 12,
    kAtName = 16,
    kAtStartLevel = 144,
    kAtImageWidth = 176,
    kAtImageHeight = 180,
    kAtImageExtraA = 184,
    kAtImageExtraB = 188,
    kAtTitleWidth = 192,
    kAtTitleHeight = 196,
    kAtTitleExtraA = 200,
    kAtTitleExtraB = 204,
};

const char* const kSlotNames[] = {"Image", "Title", "LowTitle"};

// The signed fields are stored as their two's-complement bit pattern.
int32_t GetLe32Signed(const uint8_t* at) {
    const uint32_t bits = GetLe32(at);
    int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void PutLe32Signed(uint8_t* at, int32_t value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutLe32(at, bits);
}

void EmptyBlob(Blob& blob) {
    std::free(blob.data);
    blob.data = nullptr;
    blob.length = 0;
}

// Reads one length-prefixed blob. `remaining` is the number of file bytes
// left from the current position and is lowered by what was read. False, with
// the blob empty and the reason in `problem`, when the length or the data run
// past the end of the file or beyond kMaxPictureFileBytes, or cannot be read;
// nothing larger than `remaining` is allocated.
bool ReadBlob(Blob& blob, FILE* in, uint64_t& remaining, const char* slot, Problem* problem) {
    EmptyBlob(blob);
    uint8_t lengthBytes[4];
    if (remaining < sizeof lengthBytes) {
        SetProblem(problem, "file ends inside the %s blob length (%llu bytes left)", slot,
                   static_cast<unsigned long long>(remaining));
        return false;
    }
    if (std::fread(lengthBytes, 1, sizeof lengthBytes, in) != sizeof lengthBytes) {
        SetProblem(problem, "reading the file failed");
        return false;
    }
    remaining -= sizeof lengthBytes;
    const uint32_t length = GetLe32(lengthBytes);
    // The length is only a claim; a file cannot hold more than it has left,
    // so nothing beyond that is ever allocated.
    if (length > remaining) {
        SetProblem(problem, "%s blob length %lu runs past the end of the file (%llu bytes left)",
                   slot, static_cast<unsigned long>(length),
                   static_cast<unsigned long long>(remaining));
        return false;
    }
    // Nor more than any picture's stream could need: a sparse file can claim
    // gigabytes on a few blocks of disk.
    if (length > kMaxPictureFileBytes) {
        SetProblem(problem, "%s blob length %lu is more than any picture needs (at most %llu)",
                   slot, static_cast<unsigned long>(length),
                   static_cast<unsigned long long>(kMaxPictureFileBytes));
        return false;
    }
    if (length == 0) return true;
    auto* data = static_cast<uint8_t*>(std::malloc(length));
    if (!data) {
        SetProblem(problem, "out of memory for the %s blob", slot);
        return false;
    }
    if (std::fread(data, 1, length, in) != length) {
        std::free(data);
        SetProblem(problem, "reading the file failed");
        return false;
    }
    remaining -= length;
    blob.data = data;
    blob.length = length;
    return true;
}

bool WriteAll(FILE* out, const void* bytes, size_t size) {
    return size == 0 || std::fwrite(bytes, 1, size, out) == size;
}

// Writes the length and the first `length` bytes of data. False on a short
// write, or when the blob has a length but no data: that would put memory no
// picture wrote into the file.
bool WriteBlob(const Blob& blob, FILE* out) {
    if (blob.length > 0 && !blob.data) return false;
    uint8_t lengthBytes[4];
    PutLe32(lengthBytes, blob.length);
    return WriteAll(out, lengthBytes, sizeof lengthBytes) && WriteAll(out, blob.data, blob.length);
}

bool WriteEpisodeContent(FILE* out, const void* context) {
    const auto& episode = *static_cast<const EpisodeRecord*>(context);
    uint8_t headerBytes[kEpisodeHeaderBytes];
    EncodeEpisodeHeader(episode.header, headerBytes);
    return WriteAll(out, headerBytes, sizeof headerBytes) && WriteBlob(episode.imageBlob, out) &&
           WriteBlob(episode.titleBlob, out) && WriteBlob(episode.lowTitleBlob, out);
}

// Reads the header and the blobs from `in`, of `remaining` bytes, counting
// the blobs read whole. True when all were whole.
bool ReadEpisodeContent(EpisodeRecord& episode, FILE* in, uint64_t remaining, int& wholeBlobs,
                        Problem* problem) {
    Blob* blobs[] = {&episode.imageBlob, &episode.titleBlob, &episode.lowTitleBlob};
    uint8_t headerBytes[kEpisodeHeaderBytes];
    bool intact = false;
    if (remaining < kEpisodeHeaderBytes) {
        SetProblem(problem, "file ends inside the header");
    } else if (std::fread(headerBytes, 1, sizeof headerBytes, in) != sizeof headerBytes) {
        SetProblem(problem, "reading the file failed");
    } else {
        DecodeEpisodeHeader(headerBytes, episode.header);
        remaining -= kEpisodeHeaderBytes;
        intact = true;
    }
    for (int slot = 0; slot < 3; ++slot) {
        // Blobs after a damaged part are not guessed at: empty blobs make
        // UnpackPictures refuse the episode.
        if (intact) {
            intact = ReadBlob(*blobs[slot], in, remaining, kSlotNames[slot], problem);
            wholeBlobs += intact;
        } else {
            EmptyBlob(*blobs[slot]);
        }
    }
    return intact;
}

}  // namespace

void EncodeEpisodeHeader(const EpisodeHeader& header, uint8_t out[kEpisodeHeaderBytes]) {
    PutLe32Signed(out + kAtHeaderSize, header.headerSize);
    PutLe32(out + kAtListPlace, header.listPlace);
    PutLe32Signed(out + kAtEpisodeExtraA, header.episodeExtraA);
    PutLe32Signed(out + kAtEpisodeExtraB, header.episodeExtraB);
    std::memcpy(out + kAtName, header.name, kNameSize);
    std::memcpy(out + kAtStartLevel, header.startLevel, kStartLevelSize);
    PutLe32(out + kAtImageWidth, header.imageWidth);
    PutLe32(out + kAtImageHeight, header.imageHeight);
    PutLe32Signed(out + kAtImageExtraA, header.imageExtraA);
    PutLe32Signed(out + kAtImageExtraB, header.imageExtraB);
    PutLe32(out + kAtTitleWidth, header.titleWidth);
    PutLe32(out + kAtTitleHeight, header.titleHeight);
    PutLe32Signed(out + kAtTitleExtraA, header.titleExtraA);
    PutLe32Signed(out + kAtTitleExtraB, header.titleExtraB);
}

void DecodeEpisodeHeader(const uint8_t in[kEpisodeHeaderBytes], EpisodeHeader& header) {
    header.headerSize = GetLe32Signed(in + kAtHeaderSize);
    header.listPlace = GetLe32(in + kAtListPlace);
    header.episodeExtraA = GetLe32Signed(in + kAtEpisodeExtraA);
    header.episodeExtraB = GetLe32Signed(in + kAtEpisodeExtraB);
    std::memcpy(header.name, in + kAtName, kNameSize);
    std::memcpy(header.startLevel, in + kAtStartLevel, kStartLevelSize);
    header.imageWidth = GetLe32(in + kAtImageWidth);
    header.imageHeight = GetLe32(in + kAtImageHeight);
    header.imageExtraA = GetLe32Signed(in + kAtImageExtraA);
    header.imageExtraB = GetLe32Signed(in + kAtImageExtraB);
    header.titleWidth = GetLe32(in + kAtTitleWidth);
    header.titleHeight = GetLe32(in + kAtTitleHeight);
    header.titleExtraA = GetLe32Signed(in + kAtTitleExtraA);
    header.titleExtraB = GetLe32Signed(in + kAtTitleExtraB);
}

bool ReadEpisodeFile(EpisodeRecord& episode, const char* path, EpisodeReadReport* report) {
    if (report) *report = EpisodeReadReport{};
    Problem* problem = report ? &report->problem : nullptr;
    InputFile input;
    if (!OpenInput(path, kMaxPictureFileBytes, input, problem)) return false;
    int wholeBlobs = 0;
    const bool complete = ReadEpisodeContent(episode, input.file, input.size, wholeBlobs, problem);
    if (report) {
        report->wholeBlobs = wholeBlobs;
        report->complete = complete;
        report->fileSize = input.size;
    }
    return true;
}

bool WriteEpisodeFile(const EpisodeRecord& episode, const char* path, Problem* problem) {
    return ReplaceFile(path, &WriteEpisodeContent, &episode, problem);
}
