#include "episode_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

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

uint32_t GetLe32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

void PutLe32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

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

enum class BlobResult { kRead, kEndsInLength, kPastEnd, kReadFailed };

// `claimed` receives the length field as the file gives it, for the report.
BlobResult ReadBlobChecked(Blob& blob, FILE* in, uint64_t* remaining, uint32_t* claimed) {
    EmptyBlob(blob);
    *claimed = 0;
    uint8_t lengthBytes[4];
    if (*remaining < sizeof lengthBytes) return BlobResult::kEndsInLength;
    if (std::fread(lengthBytes, 1, sizeof lengthBytes, in) != sizeof lengthBytes) {
        return BlobResult::kReadFailed;
    }
    *remaining -= sizeof lengthBytes;
    const uint32_t length = GetLe32(lengthBytes);
    *claimed = length;
    // The length is only a claim; a file cannot hold more than it has left,
    // so nothing beyond that is ever allocated.
    if (length > *remaining) return BlobResult::kPastEnd;
    if (length == 0) return BlobResult::kRead;
    auto* data = static_cast<uint8_t*>(std::malloc(length));
    if (!data) return BlobResult::kReadFailed;
    if (std::fread(data, 1, length, in) != length) {
        std::free(data);
        return BlobResult::kReadFailed;
    }
    *remaining -= length;
    blob.data = data;
    blob.length = length;
    return BlobResult::kRead;
}

// Regular files give their size; anything else (a directory, a pipe) is
// treated as empty, since nothing in it can be trusted to be an episode.
uint64_t StreamSize(FILE* file) {
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return 0;
    return static_cast<uint64_t>(info.st_size);
}

void Report(EpisodeReadReport* report, const char* problem) {
    if (report && !report->problem) report->problem = problem;
}

const char* const kSlotNames[] = {"Image", "Title", "LowTitle"};

bool WriteAll(FILE* out, const void* bytes, size_t size) {
    return size == 0 || std::fwrite(bytes, 1, size, out) == size;
}

bool WriteEpisodeContent(FILE* out, const void* context) {
    const auto& episode = *static_cast<const EpisodeRecord*>(context);
    uint8_t headerBytes[kEpisodeHeaderBytes];
    EncodeEpisodeHeader(episode.header, headerBytes);
    return WriteAll(out, headerBytes, sizeof headerBytes) && WriteBlob(episode.imageBlob, out) &&
           WriteBlob(episode.titleBlob, out) && WriteBlob(episode.lowTitleBlob, out);
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

bool ReadBlob(Blob& blob, FILE* in, uint64_t* remaining) {
    uint32_t claimed;
    return ReadBlobChecked(blob, in, remaining, &claimed) == BlobResult::kRead;
}

bool WriteBlob(const Blob& blob, FILE* out) {
    // A length without the bytes behind it would put memory that no picture
    // wrote into the file.
    if (blob.length > 0 && !blob.data) return false;
    uint8_t lengthBytes[4];
    PutLe32(lengthBytes, blob.length);
    return WriteAll(out, lengthBytes, sizeof lengthBytes) && WriteAll(out, blob.data, blob.length);
}

bool ReadEpisodeFile(EpisodeRecord& episode, const char* path, EpisodeReadReport* report) {
    if (report) *report = EpisodeReadReport{};
    FILE* in = std::fopen(path, "rb");
    if (!in) return false;
    uint64_t remaining = StreamSize(in);
    if (report) {
        report->opened = true;
        report->fileSize = remaining;
    }

    Blob* blobs[] = {&episode.imageBlob, &episode.titleBlob, &episode.lowTitleBlob};
    bool intact = false;
    uint8_t headerBytes[kEpisodeHeaderBytes];
    if (remaining < kEpisodeHeaderBytes) {
        Report(report, "file ends inside the header");
    } else if (std::fread(headerBytes, 1, sizeof headerBytes, in) != sizeof headerBytes) {
        Report(report, "reading the file failed");
    } else {
        remaining -= kEpisodeHeaderBytes;
        DecodeEpisodeHeader(headerBytes, episode.header);
        intact = true;
    }

    for (int slot = 0; slot < 3; ++slot) {
        Blob& blob = *blobs[slot];
        if (!intact) {
            // Blobs after a damaged part are not guessed at: empty blobs make
            // UnpackPictures refuse the episode.
            EmptyBlob(blob);
            continue;
        }
        const uint64_t before = remaining;
        uint32_t claimed;
        const BlobResult result = ReadBlobChecked(blob, in, &remaining, &claimed);
        if (result == BlobResult::kRead) continue;
        intact = false;
        if (report) {
            switch (result) {
                case BlobResult::kEndsInLength:
                    Report(report, "file ends inside a blob length");
                    std::snprintf(report->detail, sizeof report->detail,
                                  "file ends inside the %s blob length (%llu bytes left)",
                                  kSlotNames[slot], static_cast<unsigned long long>(before));
                    break;
                case BlobResult::kPastEnd:
                    Report(report, "a blob length runs past the end of the file");
                    std::snprintf(report->detail, sizeof report->detail,
                                  "%s blob length %lu runs past the end of the file (%llu bytes "
                                  "left)",
                                  kSlotNames[slot], static_cast<unsigned long>(claimed),
                                  static_cast<unsigned long long>(remaining));
                    break;
                default:
                    Report(report, "reading the file failed");
                    break;
            }
        }
    }

    std::fclose(in);
    if (report) {
        report->complete = intact;
        if (report->problem && !report->detail[0]) {
            std::snprintf(report->detail, sizeof report->detail, "%s", report->problem);
        }
    }
    return true;
}

bool WriteEpisodeFile(const EpisodeRecord& episode, const char* path) {
    return ReplaceFile(path, &WriteEpisodeContent, &episode);
}
