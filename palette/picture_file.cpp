#include "picture_file.h"

#include <png.h>
#include <sys/stat.h>

#include <strings.h>
#include <cerrno>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bmp_import.h"
#include "colour_cells.h"
#include "colour_match.h"
#include "picture_packing.h"
#include "reference_palette.h"
#include "safe_write.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kBmpFileHeaderBytes = 14;
constexpr size_t kBmpInfoHeaderBytes = 40;
// SDL 1.2 keeps a surface's pitch in 16 bits.
constexpr uint64_t kMaxPitch = 65535;

// Masks of a pixel stored blue, green, red, zero (as libpng gives it with
// png_set_bgr and a filler byte), as this host reads the four bytes.
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
constexpr Uint32 kRedMask = 0x00FF0000, kGreenMask = 0x0000FF00, kBlueMask = 0x000000FF;
#else
constexpr Uint32 kRedMask = 0x0000FF00, kGreenMask = 0x00FF0000, kBlueMask = 0xFF000000;
#endif

// printf-style so that the compiler checks every format against its
// arguments (-Wformat=2), which a parameter pack would not give.
void SetReason(PictureProblem* problem, const char* format, ...)  // NOLINT(cert-dcl50-cpp)
    __attribute__((format(printf, 2, 3)));

void SetReason(PictureProblem* problem, const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
    if (!problem) return;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(problem->reason, sizeof problem->reason, format, arguments);
    va_end(arguments);
}

uint32_t Le32(const uint8_t* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

uint16_t Le16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

void PutLe32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutLe16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

uint64_t FileSize(FILE* file) {
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return 0;
    return static_cast<uint64_t>(info.st_size);
}

// False, with the reason, for sides the project's pictures never have.
bool SizeAllowed(uint64_t width, uint64_t height, PictureProblem* problem) {
    if (width == 0 || height == 0) {
        SetReason(problem, "the picture has no pixels (%llux%llu)",
                  static_cast<unsigned long long>(width), static_cast<unsigned long long>(height));
        return false;
    }
    if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
        SetReason(problem, "the picture is too large (%llux%llu; at most %u a side, %u pixels)",
                  static_cast<unsigned long long>(width), static_cast<unsigned long long>(height),
                  kMaxPictureSide, kMaxPicturePixels);
        return false;
    }
    return true;
}

// SDL's BMP reader allocates the whole surface from the header before it
// reads a pixel; a file of a few bytes can claim gigabytes. An uncompressed
// file shorter than its rows without padding cannot be one SDL reads, and is
// refused here without allocating.
bool BmpHeaderPlausible(FILE* file, uint64_t fileSize, PictureProblem* problem) {
    uint8_t header[kBmpFileHeaderBytes + kBmpInfoHeaderBytes] = {};
    const size_t got = std::fread(header, 1, sizeof header, file);
    const uint32_t infoSize = got >= 18 ? Le32(header + 14) : 0;
    int64_t width, height;
    uint32_t bits;
    uint32_t compression = 0;
    if (infoSize == 12 && got >= 26) {
        // The OS/2 1.x header has 16-bit sides, read by SDL as unsigned.
        width = Le16(header + 18);
        height = Le16(header + 20);
        bits = Le16(header + 24);
    } else if (infoSize != 12 && got >= 30) {
        width = static_cast<int32_t>(Le32(header + 18));
        height = static_cast<int32_t>(Le32(header + 22));
        bits = Le16(header + 28);
        if (got >= 34) compression = Le32(header + 30);
    } else {
        SetReason(problem, "damaged BMP: the header is cut short");
        return false;
    }
    // Negative heights are top-down pictures; negative widths SDL refuses.
    if (width < 0) width = -width;
    if (height < 0) height = -height;
    if (!SizeAllowed(static_cast<uint64_t>(width), static_cast<uint64_t>(height), problem)) {
        return false;
    }
    // Compressed files SDL refuses on its own, before it allocates.
    constexpr uint32_t kUncompressed = 0, kBitFields = 3;
    if (compression != kUncompressed && compression != kBitFields) return true;
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * (bits ? bits : 1) + 7) / 8;
    if (rowBytes * static_cast<uint64_t>(height) > fileSize) {
        SetReason(problem, "damaged BMP: %lldx%lld at %u bits needs more bytes than the file has",
                  static_cast<long long>(width), static_cast<long long>(height), bits);
        return false;
    }
    return true;
}

SDL_Surface* ReadBmp(const char* path, FILE* file, uint64_t fileSize, PictureProblem* problem) {
    if (!BmpHeaderPlausible(file, fileSize, problem)) return nullptr;
    SDL_ClearError();
    SDL_Surface* surface = LoadBmpSafely(path);
    if (!surface) {
        const char* sdl = SDL_GetError();
        SetReason(problem, "cannot read the BMP: %s",
                  sdl && sdl[0] ? sdl : "a kind of BMP that is not supported");
    }
    return surface;
}

// libpng reports through these; its error function must not return, and
// jumps back to the setjmp in RunGuarded.
struct PngErrorState {
    jmp_buf jump;
    char message[128];
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message ? message : "error");
    std::longjmp(state->jump, 1);  // NOLINT(cert-err52-cpp): libpng's C error protocol
}

void OnPngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// Calls body(context) so that a libpng error ends it here. False when it did.
// The frame that calls setjmp holds nothing that changes after it, so nothing
// can be lost to the jump; `body` must leave no object with a destructor on
// the stack, since the jump would skip it.
bool RunGuarded(PngErrorState* state, void (*body)(void*), void* context) {
    if (setjmp(state->jump) != 0) return false;  // NOLINT(cert-err52-cpp): as OnPngError
    body(context);
    return true;
}

// A read in progress: what ReadPngBody needs, and what it made, which the
// caller frees whether or not libpng ended it early.
struct PngRead {
    png_structp png;
    png_infop info;
    FILE* file;
    uint64_t fileSize;
    PictureProblem* problem;
    bool ok = false;
    SDL_Surface* surface = nullptr;
    png_bytep* rows = nullptr;
};

void ReadPngBody(void* context) {
    PngRead& read = *static_cast<PngRead*>(context);
    png_structp png = read.png;
    png_infop info = read.info;
    PictureProblem* problem = read.problem;
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    png_init_io(png, read.file);
    // ReadPictureFile has read the signature to tell the formats apart.
    png_set_sig_bytes(png, sizeof kPngSignature);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);
    if (!SizeAllowed(width, height, problem)) return;
    // Deflate expands at most about 1032:1; a picture larger than the file
    // could expand to is damaged or hostile, and is not allocated for.
    const uint64_t rawRowBytes =
        (uint64_t{width} * png_get_channels(png, info) * static_cast<uint64_t>(depth) + 7) / 8;
    if (rawRowBytes * height > 1100 * read.fileSize + 1024) {
        SetReason(problem, "damaged PNG: too little data for %lux%lu pixels",
                  static_cast<unsigned long>(width), static_cast<unsigned long>(height));
        return;
    }

    const bool indexed = colourType == PNG_COLOR_TYPE_PALETTE;
    if (depth == 16) png_set_strip_16(png);
    if (indexed) {
        png_set_packing(png);
    } else {
        if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (colourType & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
        if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
        // Blue, green, red, zero in memory: xRGB as a little-endian word.
        png_set_bgr(png);
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const uint64_t rowBytes = uint64_t{width} * (indexed ? 1 : 4);
    if (rowBytes > kMaxPitch) {
        SetReason(problem, "the picture is too wide for a true-colour picture (%lu pixels)",
                  static_cast<unsigned long>(width));
        return;
    }
    if (png_get_rowbytes(png, info) != rowBytes) {
        SetReason(problem, "a kind of PNG that is not supported");
        return;
    }
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    SDL_Surface* surface =
        indexed ? SDL_CreateRGBSurface(0, w, h, 8, 0, 0, 0, 0)
                : SDL_CreateRGBSurface(0, w, h, 32, kRedMask, kGreenMask, kBlueMask, 0);
    read.surface = surface;
    if (!surface || !surface->pixels || static_cast<uint64_t>(surface->pitch) < rowBytes) {
        SetReason(problem, "out of memory for %lux%lu pixels", static_cast<unsigned long>(width),
                  static_cast<unsigned long>(height));
        return;
    }
    if (indexed) {
        SDL_Color colours[kPaletteEntries] = {};
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &entries, &count) && entries) {
            for (int i = 0; i < count && i < kPaletteEntries; ++i) {
                colours[i] = SDL_Color{entries[i].red, entries[i].green, entries[i].blue, 0};
            }
        }
        SDL_SetColors(surface, colours, 0, kPaletteEntries);
    }
    read.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!read.rows) {
        SetReason(problem, "out of memory");
        return;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        read.rows[y] =
            static_cast<png_bytep>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
    }
    png_read_image(png, read.rows);
    read.ok = true;
}

SDL_Surface* ReadPng(FILE* file, uint64_t fileSize, PictureProblem* problem) {
    PngErrorState state{};
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, &OnPngError, &OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        SetReason(problem, "out of memory");
        return nullptr;
    }
    PngRead read{png, info, file, fileSize, problem};
    if (!RunGuarded(&state, &ReadPngBody, &read)) {
        SetReason(problem, "damaged PNG: %s", state.message);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(read.rows);
    if (!read.ok && read.surface) {
        SDL_FreeSurface(read.surface);
        return nullptr;
    }
    return read.surface;
}

// An xRGB picture in the layout ConvertTrueColourToReference reads.
bool IsHostXrgb(const SDL_Surface* surface) {
    const SDL_PixelFormat* f = surface->format;
    return f->BitsPerPixel == 32 && f->Rmask == 0x00FF0000 && f->Gmask == 0x0000FF00 &&
           f->Bmask == 0x000000FF;
}

struct IndexedPicture {
    const uint8_t* pixels;
    uint32_t width, height;
    size_t pitch;
    const SDL_Color* palette;
};

bool WriteBmpContent(FILE* out, const void* context) {
    const auto& picture = *static_cast<const IndexedPicture*>(context);
    const size_t rowBytes = (size_t{picture.width} + 3) & ~size_t{3};
    constexpr size_t paletteBytes = size_t{4} * kPaletteEntries;
    const size_t dataOffset = kBmpFileHeaderBytes + kBmpInfoHeaderBytes + paletteBytes;
    const size_t imageBytes = rowBytes * picture.height;
    uint8_t head[kBmpFileHeaderBytes + kBmpInfoHeaderBytes + paletteBytes] = {};
    head[0] = 'B';
    head[1] = 'M';
    // Sides of at most 16384 keep every size here far below 2^32.
    PutLe32(head + 2, static_cast<uint32_t>(dataOffset + imageBytes));
    PutLe32(head + 10, static_cast<uint32_t>(dataOffset));
    uint8_t* info = head + kBmpFileHeaderBytes;
    PutLe32(info, kBmpInfoHeaderBytes);
    PutLe32(info + 4, picture.width);
    PutLe32(info + 8, picture.height);
    PutLe16(info + 12, 1);
    PutLe16(info + 14, 8);
    PutLe32(info + 20, static_cast<uint32_t>(imageBytes));
    PutLe32(info + 32, kPaletteEntries);
    uint8_t* entries = info + kBmpInfoHeaderBytes;
    for (int i = 0; i < kPaletteEntries; ++i) {
        uint8_t* entry = entries + 4 * ptrdiff_t{i};
        entry[0] = picture.palette[i].b;
        entry[1] = picture.palette[i].g;
        entry[2] = picture.palette[i].r;
        entry[3] = picture.palette[i].unused;
    }
    if (std::fwrite(head, 1, sizeof head, out) != sizeof head) return false;
    const uint8_t padding[3] = {};
    for (uint32_t row = picture.height; row-- > 0;) {
        const uint8_t* from = picture.pixels + row * picture.pitch;
        if (std::fwrite(from, 1, picture.width, out) != picture.width) return false;
        const size_t pad = rowBytes - picture.width;
        if (pad && std::fwrite(padding, 1, pad, out) != pad) return false;
    }
    return true;
}

struct PngWrite {
    png_structp png;
    png_infop info;
    FILE* out;
    const IndexedPicture* picture;
    png_bytep* rows = nullptr;
};

void WritePngBody(void* context) {
    PngWrite& write = *static_cast<PngWrite*>(context);
    png_structp png = write.png;
    const IndexedPicture& picture = *write.picture;
    png_init_io(png, write.out);
    png_set_IHDR(png, write.info, picture.width, picture.height, 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color entries[kPaletteEntries];
    for (int i = 0; i < kPaletteEntries; ++i) {
        entries[i] = png_color{picture.palette[i].r, picture.palette[i].g, picture.palette[i].b};
    }
    png_set_PLTE(png, write.info, entries, kPaletteEntries);
    // Filters seldom help indices, whose numbers say nothing about nearness.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, write.info);
    write.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * picture.height));
    if (!write.rows) png_error(png, "out of memory");
    for (uint32_t y = 0; y < picture.height; ++y) {
        write.rows[y] = const_cast<png_bytep>(picture.pixels + y * picture.pitch);
    }
    png_write_image(png, write.rows);
    png_write_end(png, nullptr);
}

bool WritePngContent(FILE* out, const void* context) {
    PngErrorState state{};
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, &OnPngError, &OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    PngWrite write{png, info, out, static_cast<const IndexedPicture*>(context)};
    const bool ok = RunGuarded(&state, &WritePngBody, &write);
    png_destroy_write_struct(&png, &info);
    std::free(write.rows);
    return ok;
}

}  // namespace

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

SDL_Surface* ReadPictureFile(const char* path, PictureProblem* problem) {
    if (problem) *problem = PictureProblem{};
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        SetReason(problem, "cannot open: %s", std::strerror(errno));
        return nullptr;
    }
    const uint64_t size = FileSize(file);
    uint8_t start[sizeof kPngSignature] = {};
    const size_t got = std::fread(start, 1, sizeof start, file);
    SDL_Surface* surface = nullptr;
    if (got == sizeof start && std::memcmp(start, kPngSignature, sizeof start) == 0) {
        surface = ReadPng(file, size, problem);
    } else if (got >= 2 && start[0] == 'B' && start[1] == 'M') {
        if (std::fseek(file, 0, SEEK_SET) == 0) {
            surface = ReadBmp(path, file, size, problem);
        } else {
            SetReason(problem, "cannot read: %s", std::strerror(errno));
        }
    } else if (std::ferror(file)) {
        SetReason(problem, "cannot read: %s", std::strerror(errno));
    } else {
        SetReason(problem, "not a BMP or PNG file");
    }
    std::fclose(file);
    return surface;
}

bool ConvertToPalette(SDL_Surface** picture, const SDL_Color* palette) {
    if (!picture || !*picture || !(*picture)->format || !palette) return false;
    SDL_Surface* in = *picture;
    const int bits = in->format->BitsPerPixel;
    if (bits == 8) {
        // The editor's import of an 8-bit picture.
        if (!IsReferencePalette(in, palette)) ConvertPaletteToReference(in, palette);
        SDL_Surface* copy = CopyIntoPalette(in, palette);
        if (!copy) return false;
        SDL_FreeSurface(in);
        *picture = copy;
        return true;
    }
    if (bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
    SDL_Surface* xrgb = in;
    if (!IsHostXrgb(in)) {
        // The editor's window format, which its import converts to.
        SDL_Surface* model =
            SDL_CreateRGBSurface(0, 1, 1, 32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0);
        if (!model) return false;
        xrgb = SDL_ConvertSurface(in, model->format, 0);
        SDL_FreeSurface(model);
        if (!xrgb) return false;
    }
    // Frees the surface it converts, the copy or the picture itself. Both
    // ways give the same indices; the table pays off only for large pictures.
    SDL_Surface* result = xrgb;
    const uint64_t pixels = uint64_t{static_cast<uint32_t>(in->w)} * static_cast<uint32_t>(in->h);
    const bool converted = ConvertTrueColourToReference(
        &result, palette,
        pixels < kCellMatchMaxPixels ? ColourMatcher::kCells : ColourMatcher::kTable);
    if (!converted) {
        if (xrgb != in) SDL_FreeSurface(xrgb);
        return false;
    }
    if (xrgb != in) SDL_FreeSurface(in);
    *picture = result;
    return true;
}

bool WriteIndexedPicture(const char* path, PictureFormat format, const uint8_t* pixels,
                         uint32_t width, uint32_t height, size_t pitch, const SDL_Color* palette,
                         PictureProblem* problem) {
    if (problem) *problem = PictureProblem{};
    if (!pixels || !palette || width == 0 || height == 0 || width > kMaxPictureSide ||
        height > kMaxPictureSide || pitch < width) {
        SetReason(problem, "no picture of a size that can be written (%lux%lu)",
                  static_cast<unsigned long>(width), static_cast<unsigned long>(height));
        return false;
    }
    const IndexedPicture picture{pixels, width, height, pitch, palette};
    errno = 0;
    const bool written = ReplaceFile(
        path, format == PictureFormat::kPng ? &WritePngContent : &WriteBmpContent, &picture);
    if (!written) {
        SetReason(problem, "cannot write: %s", errno ? std::strerror(errno) : "write failed");
    }
    return written;
}
