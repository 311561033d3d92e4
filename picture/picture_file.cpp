#include "picture_file.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bmp_file.h"
#include "picture_file_internal.h"
#include "picture_limits.h"
#include "safe_write.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Regular files give their size; anything else reads as empty.
uint64_t FileSize(FILE* file) {
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return 0;
    return static_cast<uint64_t>(info.st_size);
}

struct IndexedPicture {
    PictureFormat format;
    const uint8_t* pixels;
    uint32_t width, height;
    size_t pitch;
    const SDL_Color* palette;
};

bool WritePictureContent(FILE* out, const void* context) {
    const auto& p = *static_cast<const IndexedPicture*>(context);
    return p.format == PictureFormat::kPng
               ? WritePng8(out, p.pixels, p.width, p.height, p.pitch, p.palette)
               : WriteBmp8(out, p.pixels, p.width, p.height, p.pitch, p.palette);
}

}  // namespace

bool PictureSizeAllowed(uint64_t width, uint64_t height, Problem* problem) {
    if (width == 0 || height == 0) {
        SetProblem(problem, "the picture has no pixels (%llux%llu)",
                   static_cast<unsigned long long>(width), static_cast<unsigned long long>(height));
        return false;
    }
    if (PictureBytes(width, height) == 0) {
        SetProblem(problem, "the picture is too large (%llux%llu; at most %u a side, %u pixels)",
                   static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                   kMaxPictureSide, kMaxPicturePixels);
        return false;
    }
    return true;
}

bool PictureFormatFromName(const char* path, PictureFormat* format) {
    const char* dot = path ? std::strrchr(path, '.') : nullptr;
    if (!dot) return false;
    if (strcasecmp(dot, ".bmp") == 0) {
        *format = PictureFormat::kBmp;
    } else if (strcasecmp(dot, ".png") == 0) {
        *format = PictureFormat::kPng;
    } else {
        return false;
    }
    return true;
}

SDL_Surface* ReadPictureFile(const char* path, Problem* problem) {
    ClearProblem(problem);
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        SetProblem(problem, "cannot open: %s", std::strerror(errno));
        return nullptr;
    }
    const uint64_t size = FileSize(file);
    uint8_t start[sizeof kPngSignature] = {};
    const size_t got = std::fread(start, 1, sizeof start, file);
    SDL_Surface* surface = nullptr;
    if (got == sizeof start && std::memcmp(start, kPngSignature, sizeof start) == 0) {
        surface = ReadPng(file, size, problem);
    } else if (got >= 2 && start[0] == 'B' && start[1] == 'M') {
        SDL_RWops* stream =
            std::fseek(file, 0, SEEK_SET) == 0 ? SDL_RWFromFP(file, SDL_FALSE) : nullptr;
        if (stream) {
            surface = ReadBmp(stream, size, problem);
            SDL_RWclose(stream);
        } else {
            SetProblem(problem, "cannot read: %s", std::strerror(errno));
        }
    } else if (std::ferror(file)) {
        SetProblem(problem, "cannot read: %s", std::strerror(errno));
    } else {
        SetProblem(problem, "not a BMP or PNG file");
    }
    std::fclose(file);
    return surface;
}

bool WriteIndexedPicture(const char* path, PictureFormat format, const uint8_t* pixels,
                         uint32_t width, uint32_t height, size_t pitch, const SDL_Color* palette,
                         Problem* problem) {
    ClearProblem(problem);
    if (!pixels || !palette || PictureBytes(width, height) == 0 || pitch < width) {
        SetProblem(problem, "no picture of a size that can be written (%lux%lu)",
                   static_cast<unsigned long>(width), static_cast<unsigned long>(height));
        return false;
    }
    const IndexedPicture picture{format, pixels, width, height, pitch, palette};
    errno = 0;
    if (!ReplaceFile(path, &WritePictureContent, &picture)) {
        SetProblem(problem, "cannot write: %s", errno ? std::strerror(errno) : "write failed");
        return false;
    }
    return true;
}
