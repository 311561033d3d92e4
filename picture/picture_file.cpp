#include "picture_file.h"

#include <strings.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "bmp_file.h"
#include "input_file.h"
#include "picture_file_internal.h"
#include "picture_limits.h"
#include "safe_write.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct PictureWrite {
    PictureFormat format;
    const IndexedPicture* picture;
    Problem* problem;
};

bool WriteThrough(FILE* out, const void* context) {
    const auto& write = *static_cast<const PictureWrite*>(context);
    return WritePictureContent(out, write.format, *write.picture, write.problem);
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

bool OpenPicture(const char* path, PictureInput& picture, Problem* problem) {
    ClearProblem(problem);
    InputFile& input = picture.input;
    if (!OpenInput(path, kMaxPictureFileBytes, input, problem)) return false;
    OpenBmpBands(input.file, input.size, picture.bands);  // leaves them unset when it cannot
    return true;
}

SDL_Surface* ReadPictureFile(const char* path, Problem* problem, PictureFormat* format) {
    ClearProblem(problem);
    PictureInput picture;
    if (!OpenInput(path, kMaxPictureFileBytes, picture.input, problem)) return nullptr;
    return ReadWholePicture(picture, problem, format);
}

SDL_Surface* ReadWholePicture(PictureInput& picture, Problem* problem, PictureFormat* format) {
    InputFile& input = picture.input;
    uint8_t start[sizeof kPngSignature] = {};
    if (std::fseek(input.file, 0, SEEK_SET) != 0) {
        SetProblem(problem, "cannot read: %s", std::strerror(errno));
        return nullptr;
    }
    const size_t got = std::fread(start, 1, sizeof start, input.file);
    if (got == sizeof start && std::memcmp(start, kPngSignature, sizeof start) == 0) {
        if (format) *format = PictureFormat::kPng;
        return ReadPng(input.file, input.size, problem);
    }
    if (got >= 2 && start[0] == 'B' && start[1] == 'M' &&
        std::fseek(input.file, 0, SEEK_SET) == 0) {
        if (format) *format = PictureFormat::kBmp;
        return ReadBmpFrom(input, problem);
    }
    if (std::ferror(input.file)) {
        SetProblem(problem, "cannot read: %s", std::strerror(errno));
    } else {
        SetProblem(problem, got == 0 ? "empty, not a BMP or PNG file" : "not a BMP or PNG file");
    }
    return nullptr;
}

IndexedPicture PictureOf(const SDL_Surface* surface) {
    return IndexedPicture{static_cast<const uint8_t*>(surface->pixels),
                          static_cast<uint32_t>(surface->w), static_cast<uint32_t>(surface->h),
                          static_cast<size_t>(surface->pitch), surface->format->palette->colors};
}

bool WritePictureContent(FILE* out, PictureFormat format, const IndexedPicture& p,
                         Problem* problem) {
    if (!p.pixels || !p.palette || PictureBytes(p.width, p.height) == 0 || p.pitch < p.width) {
        SetProblem(problem, "no picture of a size that can be written (%lux%lu)",
                   static_cast<unsigned long>(p.width), static_cast<unsigned long>(p.height));
        return false;
    }
    errno = 0;
    const bool written = format == PictureFormat::kPng
                             ? WritePng8(out, p.pixels, p.width, p.height, p.pitch, p.palette)
                             : WriteBmp8(out, p.pixels, p.width, p.height, p.pitch, p.palette);
    if (!written) {
        SetProblem(problem, "cannot write: %s", errno ? std::strerror(errno) : "write failed");
    }
    return written;
}

bool WriteIndexedPicture(const char* path, PictureFormat format, const IndexedPicture& picture,
                         Problem* problem) {
    ClearProblem(problem);
    const PictureWrite write{format, &picture, problem};
    return ReplaceFile(path, &WriteThrough, &write, problem);
}
