// PNG through libpng: any colour type and depth in, 8-bit palette PNG out.
#include <png.h>
#include <sys/types.h>

#include <zlib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "picture_file_internal.h"
#include "picture_limits.h"

namespace {

constexpr int kPaletteEntries = 256;
constexpr size_t kSignatureBytes = 8;
// From this many pixels on, PNG output may be deflated by runs alone.
constexpr uint64_t kRunsOnlyFromPixels = uint64_t{1} << 20;

// Masks of a pixel stored blue, green, red, zero (as libpng gives it with
// png_set_bgr and a filler byte), as this host reads the four bytes.
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
constexpr Uint32 kRedMask = 0x00FF0000, kGreenMask = 0x0000FF00, kBlueMask = 0x000000FF,
                 kAlphaMask = 0xFF000000;
#else
constexpr Uint32 kRedMask = 0x0000FF00, kGreenMask = 0x00FF0000, kBlueMask = 0xFF000000,
                 kAlphaMask = 0x000000FF;
#endif

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
    Problem* problem;
    bool ok = false;
    SDL_Surface* surface = nullptr;
    png_bytep* rows = nullptr;
};

// Reads the header and sets the transformations that give one byte per pixel
// for palette files and blue, green, red, zero for all others. False, with
// the reason, for pictures that are refused before allocating.
bool ReadPngHeader(PngRead& read, bool* indexed, bool* alpha) {
    png_structp png = read.png;
    png_infop info = read.info;
    // The sizes are checked below, with the reason said in our own words.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_init_io(png, read.file);
    png_set_sig_bytes(png, kSignatureBytes);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);
    if (!PictureSizeAllowed(width, height, read.problem)) return false;
    const uint64_t rawRowBytes =
        (uint64_t{width} * png_get_channels(png, info) * static_cast<uint64_t>(depth) + 7) / 8;
    if (rawRowBytes * height > MostThatCanUnpack(read.fileSize)) {
        SetProblem(read.problem, "damaged PNG: too little data for %lux%lu pixels",
                   static_cast<unsigned long>(width), static_cast<unsigned long>(height));
        return false;
    }
    *indexed = colourType == PNG_COLOR_TYPE_PALETTE;
    *alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
    if (depth == 16) png_set_strip_16(png);
    if (*indexed) {
        png_set_packing(png);
    } else {
        if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
        // Blue, green, red, then alpha or zero in memory: ARGB or xRGB as a
        // little-endian word.
        png_set_bgr(png);
        if (!(colourType & PNG_COLOR_MASK_ALPHA)) png_set_filler(png, 0, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != uint64_t{width} * (*indexed ? 1 : 4)) {
        SetProblem(read.problem, "a kind of PNG that is not supported");
        return false;
    }
    return true;
}

// A palette file's surface gets 256 entries: the PNG's colours first, black
// (all four bytes 0) after them.
void SetPngPalette(PngRead& read) {
    SDL_Color colours[kPaletteEntries] = {};
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(read.png, read.info, &entries, &count) && entries) {
        for (int i = 0; i < count && i < kPaletteEntries; ++i) {
            colours[i] = SDL_Color{entries[i].red, entries[i].green, entries[i].blue, 0};
        }
    }
    SDL_SetColors(read.surface, colours, 0, kPaletteEntries);
}

void ReadPngBody(void* context) {
    PngRead& read = *static_cast<PngRead*>(context);
    bool indexed = false, alpha = false;
    if (!ReadPngHeader(read, &indexed, &alpha)) return;
    const png_uint_32 width = png_get_image_width(read.png, read.info);
    const png_uint_32 height = png_get_image_height(read.png, read.info);
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    SDL_Surface* surface = indexed ? SDL_CreateRGBSurface(0, w, h, 8, 0, 0, 0, 0)
                                   : SDL_CreateRGBSurface(0, w, h, 32, kRedMask, kGreenMask,
                                                          kBlueMask, alpha ? kAlphaMask : 0);
    read.surface = surface;
    if (!surface || !surface->pixels ||
        static_cast<uint64_t>(surface->pitch) < uint64_t{width} * (indexed ? 1 : 4)) {
        SetProblem(read.problem, "out of memory for %lux%lu pixels",
                   static_cast<unsigned long>(width), static_cast<unsigned long>(height));
        return;
    }
    if (indexed) SetPngPalette(read);
    read.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!read.rows) {
        SetProblem(read.problem, "out of memory");
        return;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        read.rows[y] =
            static_cast<png_bytep>(surface->pixels) + static_cast<size_t>(y) * surface->pitch;
    }
    png_read_image(read.png, read.rows);
    read.ok = true;
}

struct PngWrite {
    png_structp png;
    png_infop info;
    FILE* out;
    const uint8_t* pixels;
    uint32_t width, height;
    size_t pitch;
    const SDL_Color* palette;
    png_bytep* rows = nullptr;
};

// True when most pixels repeat the one before them, judged from every eighth
// row: drawn pictures, whose long repeats deflate finds quickly.
bool MostlyRepeats(const PngWrite& write) {
    uint64_t repeats = 0, seen = 0;
    for (uint32_t y = 0; y < write.height; y += 8) {
        const uint8_t* row = write.pixels + y * write.pitch;
        for (uint32_t x = 1; x < write.width; ++x) repeats += row[x] == row[x - 1];
        seen += write.width - 1;
    }
    return 2 * repeats > seen;
}

void WritePngBody(void* context) {
    PngWrite& write = *static_cast<PngWrite*>(context);
    png_structp png = write.png;
    png_init_io(png, write.out);
    png_set_IHDR(png, write.info, write.width, write.height, 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color entries[kPaletteEntries];
    for (int i = 0; i < kPaletteEntries; ++i) {
        entries[i] = png_color{write.palette[i].r, write.palette[i].g, write.palette[i].b};
    }
    png_set_PLTE(png, write.info, entries, kPaletteEntries);
    // Filters seldom help indices, whose numbers say nothing about nearness.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    // Deflate at zlib's usual level finds the long repeats of drawn pictures
    // quickly, but on large photographs and dithered pictures, whose indices
    // seldom repeat, it costs many times the rest of a conversion; runs
    // alone (Z_RLE) give files a few per cent larger at a fraction of the
    // time. Pictures of an episode's size keep the usual level.
    if (uint64_t{write.width} * write.height >= kRunsOnlyFromPixels && !MostlyRepeats(write)) {
        png_set_compression_strategy(png, Z_RLE);
    }
    png_write_info(png, write.info);
    write.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * write.height));
    if (!write.rows) png_error(png, "out of memory");
    for (uint32_t y = 0; y < write.height; ++y) {
        write.rows[y] = const_cast<png_bytep>(write.pixels + y * write.pitch);
    }
    png_write_image(png, write.rows);
    png_write_end(png, nullptr);
}

// libpng's own limit on a chunk it keeps (IDAT is streamed, not kept).
constexpr uint32_t kMostChunkBytes = 8000000;

// True when no chunk before the image data claims more than kMostChunkBytes.
// libpng only warns about such a chunk, then allocates its claimed length
// before it reads it: a few bytes, or a sparse file, could make it take
// gigabytes. Nothing after the first IDAT is read, so nothing there counts.
bool ChunksWithinLimit(FILE* file, uint64_t fileSize) {
    uint64_t at = kSignatureBytes;
    uint8_t head[8];  // length (big-endian) and type
    while (at + sizeof head <= fileSize && fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0 &&
           std::fread(head, 1, sizeof head, file) == sizeof head &&
           std::memcmp(head + 4, "IDAT", 4) != 0) {
        const uint32_t length =
            uint32_t{head[0]} << 24 | uint32_t{head[1]} << 16 | uint32_t{head[2]} << 8 | head[3];
        if (length > kMostChunkBytes) return false;
        at += sizeof head + uint64_t{length} + 4;  // and the CRC
    }
    return fseeko(file, kSignatureBytes, SEEK_SET) == 0;
}

}  // namespace

SDL_Surface* ReadPng(FILE* file, uint64_t fileSize, Problem* problem) {
    if (!ChunksWithinLimit(file, fileSize)) {
        SetProblem(problem, "damaged PNG: a chunk before its pixels claims more than %lu bytes",
                   static_cast<unsigned long>(kMostChunkBytes));
        return nullptr;
    }
    PngErrorState state{};
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, &OnPngError, &OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        SetProblem(problem, "out of memory");
        return nullptr;
    }
    PngRead read{png, info, file, fileSize, problem};
    if (!RunGuarded(&state, &ReadPngBody, &read)) {
        SetProblem(problem, "damaged PNG: %s", state.message);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(read.rows);
    if (!read.ok && read.surface) {
        SDL_FreeSurface(read.surface);
        return nullptr;
    }
    return read.surface;
}

bool WritePng8(FILE* out, const uint8_t* pixels, uint32_t width, uint32_t height, size_t pitch,
               const SDL_Color* palette) {
    PngErrorState state{};
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, &OnPngError, &OnPngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    PngWrite write{png, info, out, pixels, width, height, pitch, palette};
    const bool ok = RunGuarded(&state, &WritePngBody, &write);
    png_destroy_write_struct(&png, &info);
    std::free(write.rows);
    return ok;
}
