#include "bmp_file.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "byte_order.h"
#include "picture_file_internal.h"
#include "picture_limits.h"

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kOs2InfoHeaderBytes = 12;  // OS/2 1.x: 16-bit sides, 3-byte colours
constexpr uint32_t kMaskBytes = 12;           // red, green, blue masks after a 40-byte header
constexpr uint32_t kUncompressed = 0, kBitFields = 3;
constexpr int kPaletteEntries = 256;

// What the checks and the fix-ups need from the headers.
struct BmpHeader {
    uint32_t dataOffset = 0;  // where the pixels start, from the file's start
    uint32_t infoSize = 0;
    uint64_t width = 0, height = 0;  // without the sign that marks top-down rows
    uint32_t bits = 0;
    uint32_t compression = kUncompressed;
    uint32_t coloursUsed = 0;  // 0 when the header has no such field
    uint32_t alphaMask = 0;    // of a bit-field file whose header holds one

    bool Indexed() const { return bits == 1 || bits == 4 || bits == 8; }
    uint64_t PaletteStart() const { return uint64_t{kFileHeaderBytes} + infoSize; }
    uint32_t EntryBytes() const { return infoSize == kOs2InfoHeaderBytes ? 3 : 4; }
};

// False when the bytes end before the fields that give the size.
bool ParseHeader(const uint8_t* bytes, size_t got, BmpHeader& header) {
    if (got < kFileHeaderBytes + 4) return false;
    header.dataOffset = GetLe32(bytes + 10);
    header.infoSize = GetLe32(bytes + 14);
    if (header.infoSize == kOs2InfoHeaderBytes) {
        if (got < 26) return false;
        // 16-bit sides, read by SDL as unsigned.
        header.width = GetLe16(bytes + 18);
        header.height = GetLe16(bytes + 20);
        header.bits = GetLe16(bytes + 24);
        return true;
    }
    if (got < 30) return false;
    // Negative heights are top-down pictures; negative widths SDL refuses.
    const int64_t width = static_cast<int32_t>(GetLe32(bytes + 18));
    const int64_t height = static_cast<int32_t>(GetLe32(bytes + 22));
    header.width = static_cast<uint64_t>(width < 0 ? -width : width);
    header.height = static_cast<uint64_t>(height < 0 ? -height : height);
    header.bits = GetLe16(bytes + 28);
    if (got >= 34) header.compression = GetLe32(bytes + 30);
    if (header.infoSize >= 36 && got >= 50) header.coloursUsed = GetLe32(bytes + 46);
    if (header.compression == kBitFields && header.infoSize >= 56 && got >= 70) {
        header.alphaMask = GetLe32(bytes + 66);
    }
    return true;
}

// The palette entries an indexed file really holds: those its header
// declares (at most 256), cut where the pixels start or the file ends.
uint64_t PaletteEntries(const BmpHeader& header, uint64_t fileSize) {
    uint64_t count = header.coloursUsed ? header.coloursUsed : uint64_t{1} << header.bits;
    if (count > kPaletteEntries) count = kPaletteEntries;
    for (const uint64_t end : {uint64_t{header.dataOffset}, fileSize}) {
        const uint64_t room = end > header.PaletteStart() ? end - header.PaletteStart() : 0;
        if (room / header.EntryBytes() < count) count = room / header.EntryBytes();
    }
    return count;
}

// SDL's BMP reader allocates the whole surface from the header before it
// reads a pixel, reads pixels from wherever the offset points, and makes up
// black colours for a palette the file does not hold. Refused here, before
// SDL allocates: sizes beyond the limits, uncompressed pictures whose rows
// without padding would not fit in the whole file, pixels said to start
// inside the headers, and indexed pictures without a single palette entry.
bool HeaderAcceptable(const BmpHeader& header, uint64_t fileSize, Problem* problem) {
    if (!PictureSizeAllowed(header.width, header.height, problem)) return false;
    // Compressed files SDL refuses on its own, before it allocates.
    if (header.compression != kUncompressed && header.compression != kBitFields) return true;
    const uint64_t rowBytes = (header.width * (header.bits ? header.bits : 1) + 7) / 8;
    if (rowBytes * header.height > fileSize) {
        SetProblem(problem, "damaged BMP: %llux%llu at %u bits needs more bytes than the file has",
                   static_cast<unsigned long long>(header.width),
                   static_cast<unsigned long long>(header.height), header.bits);
        return false;
    }
    const bool masksFollow =
        header.compression == kBitFields && header.infoSize == kInfoHeaderBytes;
    if (header.dataOffset < header.PaletteStart() + (masksFollow ? kMaskBytes : 0)) {
        SetProblem(problem, "damaged BMP: its pixels would start inside its headers (at byte %lu)",
                   static_cast<unsigned long>(header.dataOffset));
        return false;
    }
    if (header.Indexed() && PaletteEntries(header, fileSize) == 0) {
        SetProblem(problem, "damaged BMP: the file holds no palette for its %u-bit pixels",
                   header.bits);
        return false;
    }
    return true;
}

// Puts the palette the file really holds on the surface (PaletteEntries),
// the other entries black. SDL reads a palette from just after the first 40
// bytes of the info header, whatever the header's real size, so that longer
// headers (v4, v5, OS/2 2.x) would get their colours from inside the header;
// and it reads all the colours declared even where the pixels or the end of
// the file come first.
void FixPalette(SDL_Surface* surface, SDL_RWops* file, int start, const BmpHeader& header,
                uint64_t fileSize) {
    const auto count = static_cast<int>(PaletteEntries(header, fileSize));
    const int entryBytes = static_cast<int>(header.EntryBytes());
    SDL_Color colours[kPaletteEntries] = {};
    uint8_t bytes[4 * kPaletteEntries];
    int entries = 0;
    const uint64_t at = start + header.PaletteStart();
    if (at <= INT_MAX && SDL_RWseek(file, static_cast<int>(at), RW_SEEK_SET) >= 0) {
        const int got = SDL_RWread(file, bytes, 1, entryBytes * count);
        entries = got > 0 ? got / entryBytes : 0;
    }
    for (int i = 0; i < entries; ++i) {
        // Stored blue, green, red (and reserved, kept as SDL keeps it).
        const uint8_t* entry = bytes + ptrdiff_t{entryBytes} * i;
        colours[i] =
            SDL_Color{entry[2], entry[1], entry[0], entryBytes == 4 ? entry[3] : uint8_t{0}};
    }
    SDL_SetColors(surface, colours, 0, kPaletteEntries);
}

// The surface again with the masks the file means, where SDL gives others:
// - SDL takes the 15-, 16- and 32-bit colour masks of an uncompressed file
//   from the bytes after a 40-byte header whenever the pixels do not follow
//   the header at once, so a gap before the pixels is read as masks; such a
//   file has the format's default masks (5-5-5 for 15 and 16 bits);
// - SDL leaves out the alpha mask that a bit-field file's longer header
//   holds.
// `loaded` is freed when replaced; null when the new surface cannot be made.
SDL_Surface* WithMeantMasks(SDL_Surface* loaded, const BmpHeader& header) {
    const SDL_PixelFormat& f = *loaded->format;
    uint32_t red = f.Rmask, green = f.Gmask, blue = f.Bmask, alpha = 0;
    if (header.bits != 15 && header.bits != 16 && header.bits != 32) return loaded;
    const bool wide = header.bits == 32;
    if (header.compression == kUncompressed && header.dataOffset != header.PaletteStart()) {
        red = wide ? 0xFF0000 : 0x7C00;
        green = wide ? 0xFF00 : 0x03E0;
        blue = wide ? 0xFF : 0x001F;
    } else if (header.alphaMask != 0 && (header.alphaMask & (red | green | blue)) == 0) {
        alpha = header.alphaMask;
    } else {
        return loaded;
    }
    SDL_Surface* made =
        SDL_CreateRGBSurface(0, loaded->w, loaded->h, f.BitsPerPixel, red, green, blue, alpha);
    if (made && made->pixels && made->pitch == loaded->pitch) {
        std::memcpy(made->pixels, loaded->pixels, size_t{made->pitch} * made->h);
    } else {
        SDL_FreeSurface(made);
        made = nullptr;
    }
    SDL_FreeSurface(loaded);
    return made;
}

// A channel mask is usable when it is one run of at most 8 bits inside the
// pixel and SDL's shift and loss describe it exactly: SDL's colour routines
// shift by those values, and a loss above 8 makes them shift by negative or
// oversized amounts.
bool IsChannelSafe(uint32_t mask, uint8_t shift, uint8_t loss, int bitsPerPixel) {
    if (mask == 0) return true;
    if (loss > 8 || shift >= 32) return false;
    const uint64_t described = (uint64_t{0xFF} >> loss) << shift;
    if (described != mask) return false;
    return bitsPerPixel >= 32 || (uint64_t{mask} >> bitsPerPixel) == 0;
}

}  // namespace

bool IsSurfaceSafe(const SDL_Surface* surface) {
    if (!surface || !surface->format || !surface->pixels) return false;
    if (surface->w <= 0 || surface->h <= 0) return false;
    const SDL_PixelFormat* format = surface->format;
    const int bits = format->BitsPerPixel;
    // The depths SDL's blits and conversions handle; a bit count read from a
    // file may also have wrapped around to one of these (264 gives 8), which
    // the byte count then gives away.
    if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32) return false;
    if (format->BytesPerPixel != (bits + 7) / 8) return false;
    if ((bits == 8) != (format->palette != nullptr)) return false;
    if (format->palette) {
        const SDL_Palette* palette = format->palette;
        if (!palette->colors || palette->ncolors < 1 || palette->ncolors > 256) return false;
    }
    // SDL keeps the pitch in 16 bits: a wide enough row wraps it to a small
    // value, even 0.
    const int64_t rowBytes = int64_t{surface->w} * format->BytesPerPixel;
    if (surface->pitch < rowBytes) return false;
    // SDL sizes pixel storage as an int; anything larger cannot have been
    // allocated whole.
    if (int64_t{surface->pitch} * surface->h > INT_MAX) return false;
    return IsChannelSafe(format->Rmask, format->Rshift, format->Rloss, bits) &&
           IsChannelSafe(format->Gmask, format->Gshift, format->Gloss, bits) &&
           IsChannelSafe(format->Bmask, format->Bshift, format->Bloss, bits) &&
           IsChannelSafe(format->Amask, format->Ashift, format->Aloss, bits);
}

SDL_Surface* ReadBmp(SDL_RWops* file, uint64_t fileSize, Problem* problem, int* refusedDepth) {
    if (refusedDepth) *refusedDepth = 0;
    const int start = SDL_RWtell(file);
    uint8_t bytes[kFileHeaderBytes + 56] = {};  // up to the alpha mask of longer headers
    const int got = SDL_RWread(file, bytes, 1, sizeof bytes);
    BmpHeader header;
    if (got < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
        SetProblem(problem, "not a BMP file");
        return nullptr;
    }
    if (!ParseHeader(bytes, static_cast<size_t>(got), header)) {
        SetProblem(problem, "damaged BMP: the header is cut short");
        return nullptr;
    }
    if (!HeaderAcceptable(header, fileSize, problem)) return nullptr;
    SDL_Surface* surface = nullptr;
    SDL_ClearError();
    if (SDL_RWseek(file, start, RW_SEEK_SET) == start) surface = SDL_LoadBMP_RW(file, 0);
    if (!surface) {
        const char* reason = SDL_GetError();
        SetProblem(problem, "cannot read the BMP: %s",
                   reason && reason[0] ? reason : "a kind of BMP that is not supported");
        return nullptr;
    }
    surface = WithMeantMasks(surface, header);
    if (!surface) {
        SetProblem(problem, "out of memory for %llux%llu pixels",
                   static_cast<unsigned long long>(header.width),
                   static_cast<unsigned long long>(header.height));
        return nullptr;
    }
    if (!IsSurfaceSafe(surface)) {
        if (refusedDepth && surface->format) *refusedDepth = surface->format->BitsPerPixel;
        SDL_FreeSurface(surface);
        SetProblem(problem, "cannot read the BMP: a kind of BMP that is not supported");
        return nullptr;
    }
    if (header.Indexed()) FixPalette(surface, file, start, header, fileSize);
    return surface;
}

SDL_Surface* ReadBmpFrom(const InputFile& input, Problem* problem, int* refusedDepth) {
    SDL_RWops* stream = SDL_RWFromFP(input.file, SDL_FALSE);
    if (!stream) {
        SetProblem(problem, "cannot read: %s", SDL_GetError());
        return nullptr;
    }
    SDL_Surface* surface = ReadBmp(stream, input.size, problem, refusedDepth);
    SDL_RWclose(stream);
    return surface;
}

SDL_Surface* LoadBmpSafely(const char* path, Problem* problem, int* refusedDepth) {
    if (refusedDepth) *refusedDepth = 0;
    InputFile input;
    if (!OpenInput(path, kMaxPictureFileBytes, input, problem)) return nullptr;
    return ReadBmpFrom(input, problem, refusedDepth);
}

namespace {

constexpr uint32_t kHeightAt = 22;  // the info header's height, 4 bytes

// A band of a BMP as a file of its own, for SDL's reader (BmpBands).
struct BandView {
    const BmpBands* bands;
    uint64_t rowsAt;    // where the band's first stored row lies in the file
    uint64_t size;      // of the file the band makes
    uint8_t height[4];  // the band's height as stored, top-down if the file's is
    uint64_t position;

    static BandView& Of(SDL_RWops* context) {
        return *static_cast<BandView*>(context->hidden.unknown.data1);
    }
};

int BandSeek(SDL_RWops* context, int offset, int whence) {
    BandView& view = BandView::Of(context);
    const int64_t from = whence == RW_SEEK_SET   ? 0
                         : whence == RW_SEEK_CUR ? static_cast<int64_t>(view.position)
                                                 : static_cast<int64_t>(view.size);
    const int64_t to = from + offset;
    if (to < 0 || to > INT_MAX) {
        SDL_SetError("seek outside the file");
        return -1;
    }
    view.position = static_cast<uint64_t>(to);
    return static_cast<int>(to);
}

// The headers come from the file as they are but for the height; the rows
// from the band's own place in the file.
int BandRead(SDL_RWops* context, void* to, int size, int count) {
    BandView& view = BandView::Of(context);
    const BmpBands& bands = *view.bands;
    if (size <= 0 || count <= 0 || view.position >= view.size) return 0;
    const uint64_t want =
        std::min(uint64_t{static_cast<uint32_t>(size)} * count, view.size - view.position);
    auto* out = static_cast<uint8_t*>(to);
    uint64_t got = 0;
    while (got < want) {
        const uint64_t at = view.position + got;
        const bool inHeaders = at < bands.dataOffset;
        const uint64_t from = inHeaders ? at : view.rowsAt + (at - bands.dataOffset);
        const uint64_t piece = inHeaders ? std::min(want - got, bands.dataOffset - at) : want - got;
        const auto where = static_cast<off_t>(from);
        if (ftello(bands.file) != where && fseeko(bands.file, where, SEEK_SET) != 0) break;
        const size_t read = std::fread(out + got, 1, piece, bands.file);
        got += read;
        if (read < piece) break;
    }
    for (uint64_t i = 0; i < sizeof view.height; ++i) {
        const uint64_t at = kHeightAt + i;
        if (at >= view.position && at < view.position + got) {
            out[at - view.position] = view.height[i];
        }
    }
    view.position += got;
    return static_cast<int>(got / static_cast<uint32_t>(size));
}

int BandWrite(SDL_RWops* /*context*/, const void* /*from*/, int /*size*/, int /*count*/) {
    SDL_SetError("a band is read only");
    return -1;
}

int BandClose(SDL_RWops* /*context*/) {
    return 0;
}

}  // namespace

bool OpenBmpBands(FILE* file, uint64_t fileSize, BmpBands& bands) {
    uint8_t bytes[kFileHeaderBytes + kInfoHeaderBytes] = {};
    BmpHeader header;
    if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes || bytes[0] != 'B' ||
        bytes[1] != 'M' || !ParseHeader(bytes, sizeof bytes, header)) {
        return false;
    }
    if (header.infoSize < kInfoHeaderBytes || header.bits != 24 ||
        header.compression != kUncompressed || !HeaderAcceptable(header, fileSize, nullptr)) {
        return false;
    }
    bands = BmpBands{file,
                     static_cast<uint32_t>(header.width),
                     static_cast<uint32_t>(header.height),
                     header.dataOffset,
                     static_cast<uint32_t>((header.width * 3 + 3) / 4 * 4),
                     static_cast<int32_t>(GetLe32(bytes + kHeightAt)) < 0};
    return true;
}

SDL_Surface* ReadBmpBand(const BmpBands& bands, uint32_t top, uint32_t count, Problem* problem) {
    if (count == 0 || top >= bands.height || count > bands.height - top) {
        SetProblem(problem, "no rows %lu to %lu in a picture of %lu",
                   static_cast<unsigned long>(top), static_cast<unsigned long>(top) + count,
                   static_cast<unsigned long>(bands.height));
        return nullptr;
    }
    // Stored bottom-up, the band's rows begin with its lowest.
    const uint32_t firstStored = bands.topDown ? top : bands.height - top - count;
    BandView view{&bands,
                  uint64_t{bands.dataOffset} + uint64_t{firstStored} * bands.rowBytes,
                  uint64_t{bands.dataOffset} + uint64_t{count} * bands.rowBytes,
                  {},
                  0};
    PutLe32(view.height, bands.topDown ? 0u - count : count);
    SDL_RWops band{};
    band.seek = BandSeek;
    band.read = BandRead;
    band.write = BandWrite;
    band.close = BandClose;
    band.hidden.unknown.data1 = &view;
    SDL_Surface* surface = ReadBmp(&band, view.size, problem);
    if (surface && (surface->w != static_cast<int>(bands.width) ||
                    surface->h != static_cast<int>(count) || surface->format->BitsPerPixel != 24)) {
        SDL_FreeSurface(surface);
        SetProblem(problem, "cannot read the BMP: the file changed while it was read");
        return nullptr;
    }
    return surface;
}

bool WriteBmp8(FILE* out, const uint8_t* pixels, uint32_t width, uint32_t height, size_t pitch,
               const SDL_Color* palette) {
    const size_t rowBytes = (size_t{width} + 3) & ~size_t{3};
    constexpr size_t paletteBytes = size_t{4} * kPaletteEntries;
    const size_t dataOffset = kFileHeaderBytes + kInfoHeaderBytes + paletteBytes;
    const size_t imageBytes = rowBytes * height;
    uint8_t head[kFileHeaderBytes + kInfoHeaderBytes + paletteBytes] = {};
    head[0] = 'B';
    head[1] = 'M';
    // Sides within the picture limits keep every size here far below 2^32.
    PutLe32(head + 2, static_cast<uint32_t>(dataOffset + imageBytes));
    PutLe32(head + 10, static_cast<uint32_t>(dataOffset));
    uint8_t* info = head + kFileHeaderBytes;
    PutLe32(info, kInfoHeaderBytes);
    PutLe32(info + 4, width);
    PutLe32(info + 8, height);
    PutLe16(info + 12, 1);
    PutLe16(info + 14, 8);
    PutLe32(info + 20, static_cast<uint32_t>(imageBytes));
    PutLe32(info + 32, kPaletteEntries);
    uint8_t* entries = info + kInfoHeaderBytes;
    for (int i = 0; i < kPaletteEntries; ++i) {
        uint8_t* entry = entries + 4 * ptrdiff_t{i};
        entry[0] = palette[i].b;
        entry[1] = palette[i].g;
        entry[2] = palette[i].r;
        entry[3] = palette[i].unused;
    }
    if (std::fwrite(head, 1, sizeof head, out) != sizeof head) return false;
    const uint8_t padding[3] = {};
    const size_t pad = rowBytes - width;
    for (uint32_t row = height; row-- > 0;) {
        if (std::fwrite(pixels + row * pitch, 1, width, out) != width) return false;
        if (pad && std::fwrite(padding, 1, pad, out) != pad) return false;
    }
    return true;
}
