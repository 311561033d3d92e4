#include <gtest/gtest.h>

#include <filesystem>

#include "byte_order.h"
#include "colour_match.h"
#include "episode_file.h"
#include "picture_packing.h"
#include "reference_palette.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A blob's bytes; a length without data shows as that many 0xEE.
Bytes BlobBytes(const Blob& blob) {
    return blob.data ? Bytes(blob.data, blob.data + blob.length) : Bytes(blob.length, 0xEE);
}

// An 8-bit picture of varied indices, the bytes past each row's width 0xEE.
SDL_Surface* Pattern(int width, int height) {
    SDL_Surface* s = SDL_CreateRGBSurface(0, width, height, 8, 0, 0, 0, 0);
    auto* bytes = static_cast<uint8_t*>(s->pixels);
    for (int i = 0; i < s->pitch * height; ++i) bytes[i] = i % s->pitch < width ? i % 199 : 0xEE;
    return s;
}

}  // namespace

// Fresh header as the game's (valid_default_sizes); long texts are cut to keep their zero byte.
TEST(EpisodeRecord, FreshHeaderAndTexts) {
    // 204, place 7, extras 1 and 0, "#Kelto@Episode", "CASTLE1.VLV", Image 304x354 with
    // 0x00670098 and 0x00770860, Title 220x78 with 0x006BB0CC and 0x00706100.
    EpisodeRecord e;
    SetFreshEpisode(e);
    Bytes header(kEpisodeHeaderBytes);
    EncodeEpisodeHeader(e.header, header.data());
    const Bytes file = ReadFileBytes(DataFile("episode/valid_default_sizes.vde"));
    EXPECT_EQ(header, Bytes(file.begin(), file.begin() + kEpisodeHeaderBytes));
    ResetEpisode(e);
    EXPECT_EQ(std::string(e.header.name, kNameSize + kStartLevelSize), std::string(160, '\0'));
    SetEpisodeName(e, std::string(200, 'n').c_str());
    SetEpisodeName(e, "XYZ");
    EXPECT_EQ(std::string(e.header.name, kNameSize),
              std::string("XYZ\0", 4) + std::string(123, 'n') + '\0');
}

// Each committed file reads sound, cut or damaged for its reason; a sound one writes back as read.
TEST(EpisodeFile, CommittedFiles) {
    // o: sound; c: cut short; r: refused before a buffer is made; f: fails unpacking
    const std::tuple<const char*, char, size_t, const char*> rows[] = {
        {"valid_small", 'o', 0, ""},
        {"trailing_bytes", 'o', 20, ""},
        {"header_size_0", 'o', 0, ""},
        {"content_shorter", 'o', 0, ""},  // its pixels past the stream's 50 are index 0
        {"stored_level_0", 'o', 0, ""},   // any whole zlib stream loads
        {"fixed_codes", 'o', 0, ""},
        {"huffman_only", 'o', 0, ""},
        {"rle_small_window", 'o', 0, ""},
        {"cut_in_first_length", 'c', 0, "file ends inside the Image blob length (2 bytes left)"},
        {"image_length_ffffffff", 'c', 0, "Image blob length 4294967295 runs past the end"},
        {"title_length_one_over", 'c', 0,
         "Title blob length 85 runs past the end of the file (84 "},
        {"cut_in_lowtitle_blob", 'c', 0, "LowTitle blob length 40 runs past the end of the file"},
        {"lowtitle_not_zlib", 'f', 0, "the LowTitle blob is not a whole zlib stream (8x4 "},
        {"size_wraps_32_bits", 'r', 0, "the Image size 65536x65537 is not a picture size"},
        {"cut_in_image_blob", 'c', 0, "Image blob length 162 runs past the end of the file (81 "},
        {"zero_length_title", 'r', 0, "the Title blob is empty"},
        {"corrupt_image_stream", 'f', 0, "the Image blob is not a whole zlib stream (16x12 "},
        {"content_one_byte_longer", 'f', 0, "the Image blob holds more than its 16x12 "},
        {"image_stream_cut", 'f', 0, "the Image blob is not a whole zlib stream (16x12 "},
        {"image_claims_8192", 'r', 0,
         "the Image blob (162 bytes) is far too short for its 67108864"},
        {"width_zero", 'r', 0, "the Image size 0x12 is not a picture size (1 to 16383 a side"},
        {"beyond_side_limit", 'r', 0, "the Image size 16385x1 is not a picture size"},
    };
    TempDir dir;
    for (const auto& [name, what, trailer, reason] : rows) {
        const std::string path = DataFile(std::string("episode/") + name + ".vde");
        const Bytes file = ReadFileBytes(path);
        EpisodeRecord e;
        EpisodeReadReport report;
        Problem problem;
        ASSERT_TRUE(ReadEpisodeFile(e, path.c_str(), &report));
        e.imagePixels = static_cast<uint8_t*>(std::malloc(1));  // a stale buffer goes first
        const bool unpacks = UnpackPictures(e, &problem);
        EXPECT_TRUE(std::string(name) != "content_shorter" ||
                    Bytes(e.imagePixels + 50, e.imagePixels + 192) == Bytes(142, 0));
        const std::string given = report.complete ? problem.reason : report.problem.reason;
        EXPECT_EQ(std::make_tuple(report.complete, report.fileSize, unpacks, !e.imagePixels,
                                  given.find(reason)),
                  std::make_tuple(what != 'c', file.size(), what == 'o', what == 'c' || what == 'r',
                                  size_t{0}))
            << name << ": " << given;
        EXPECT_TRUE(!report.complete || (WriteEpisodeFile(e, dir.File("out.vde").c_str()) &&
                                         ReadFileBytes(dir.File("out.vde")) ==
                                             Bytes(file.begin(), file.end() - trailer)));
        FreeEpisodeBuffers(e);
        EXPECT_TRUE(!e.imagePixels && !e.titlePixels && !e.lowTitlePixels && !e.imageBlob.data &&
                    !e.titleBlob.data && !e.lowTitleBlob.data);
    }
}

// A blob longer than any picture needs is refused before it is read: a
// sparse file can claim gigabytes on a few blocks of disk.
TEST(EpisodeFile, BlobLongerThanAnyPicture) {
    TempDir dir;
    Bytes file = ReadFileBytes(DataFile("episode/valid_small.vde"));
    file.resize(kEpisodeHeaderBytes + 4);
    PutLe32(&file[kEpisodeHeaderBytes], 0xFFFFFFF0u);
    ASSERT_TRUE(WriteFileBytes(dir.File("s.vde"), file));
    std::error_code error;
    std::filesystem::resize_file(dir.File("s.vde"), file.size() + 0xFFFFFFF8u, error);
    if (error) GTEST_SKIP() << "no sparse file: " << error.message();
    EpisodeRecord e;
    EpisodeReadReport report;
    ASSERT_TRUE(ReadEpisodeFile(e, dir.File("s.vde").c_str(), &report));
    EXPECT_FALSE(report.complete);
    EXPECT_NE(std::string(report.problem.reason).find("more than any picture"), std::string::npos)
        << report.problem.reason;
    FreeEpisodeBuffers(e);
}

// A file cut anywhere is never complete and gives only the header and blobs it holds whole.
TEST(EpisodeFile, CutAtEveryLength) {
    const std::string path = DataFile("episode/valid_small.vde");
    const Bytes file = ReadFileBytes(path);
    EpisodeRecord whole, blank, e;
    blank.titleBlob.length = 77;
    TempDir dir;
    ASSERT_TRUE(ReadEpisodeFile(whole, path.c_str()));
    // A missing file is no episode; a blob with a length but no data is never written.
    EXPECT_FALSE(ReadEpisodeFile(e, dir.File("absent.vde").c_str()) ||
                 WriteEpisodeFile(blank, dir.File("absent.vde").c_str()));
    for (size_t cut = 0; cut < file.size(); ++cut) {
        ASSERT_TRUE(WriteFileBytes(dir.File("cut.vde"), Bytes(file.begin(), file.begin() + cut)));
        e = blank;
        EpisodeReadReport report;
        ASSERT_TRUE(ReadEpisodeFile(e, dir.File("cut.vde").c_str(), &report));
        Bytes header(kEpisodeHeaderBytes);
        EncodeEpisodeHeader(e.header, header.data());  // the file's blobs end at 374, 418 and 462
        EXPECT_EQ(std::make_tuple(report.complete, header, BlobBytes(e.imageBlob),
                                  BlobBytes(e.titleBlob), BlobBytes(e.lowTitleBlob)),
                  std::make_tuple(
                      false, cut < 208 ? Bytes(208, 0) : Bytes(file.begin(), file.begin() + 208),
                      cut < 374 ? Bytes() : BlobBytes(whole.imageBlob),
                      cut < 418 ? Bytes() : BlobBytes(whole.titleBlob), Bytes()))
            << cut;
        FreeEpisodeBuffers(e);
    }
    FreeEpisodeBuffers(whole);
}

// Pictures come back through buffers, blobs and a file; bad surfaces and sizes are refused.
TEST(PicturePacking, RoundTrip) {
    SDL_Color palette[kPaletteEntries];
    LoadSamplePalette(palette);
    TempDir dir;
    // Rows shorter than the pitch and as long; the highest picture.
    SDL_Surface* in[] = {Pattern(221, 50), Pattern(4, 16383), Pattern(4, 16383)};
    SDL_Surface* bad[] = {nullptr, SDL_CreateRGBSurface(0, 1, 1, 24, 0xFF0000, 0xFF00, 0xFF, 0),
                          Pattern(4, 16384), Pattern(12, 5461), Pattern(4, 100)};
    EpisodeRecord e, back;
    ASSERT_TRUE(SurfacesToBuffers(e, in[1], in[1], in[2]));
    // Missing, deep and too high surfaces leave the header and buffers as they were; a LowTitle
    // of another shape, even of the same pixel count, leaves the new sizes and no buffer.
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(SurfacesToBuffers(e, in[0], i < 3 ? bad[i] : in[1], i < 3 ? in[2] : bad[i]));
        EXPECT_TRUE(e.header.imageWidth == (i < 3 ? 4u : 221u) && !e.imagePixels == (i >= 3) &&
                    !e.titlePixels == (i >= 3) && !e.lowTitlePixels == (i >= 3) &&
                    PackPictures(e) == (i < 3))
            << i;
        SDL_FreeSurface(bad[i]);
    }
    ASSERT_TRUE(SurfacesToBuffers(e, in[0], in[1], in[2]) && PackPictures(e) &&
                WriteEpisodeFile(e, dir.File("p.vde").c_str()));
    EXPECT_EQ(e.imageBlob.data[1], 0xDA);  // zlib's mark of level 9, as the game's editor saves
    ASSERT_TRUE(ReadEpisodeFile(back, dir.File("p.vde").c_str()) && UnpackPictures(back));
    SDL_Surface* out[] = {Pattern(5, 5), nullptr, nullptr};
    SDL_Surface* const old = out[0];
    ReferencePalette = nullptr;  // without it, the slots keep what they had
    EXPECT_FALSE(BuffersToSurfaces(back, &out[0], &out[1], &out[2]) || out[0] != old || out[1]);
    ReferencePalette = palette;
    ASSERT_TRUE(BuffersToSurfaces(back, &out[0], &out[1], &out[2]));
    for (int slot = 0; slot < 3; ++slot) {
        ASSERT_EQ(std::tie(out[slot]->w, out[slot]->h), std::tie(in[slot]->w, in[slot]->h));
        EXPECT_TRUE(IsReferencePalette(out[slot], palette));
        for (int i = 0; i < in[slot]->w * in[slot]->h; ++i) {
            const int x = i % in[slot]->w, y = i / in[slot]->w;
            ASSERT_EQ(IndexAt(out[slot], x, y), IndexAt(in[slot], x, y)) << slot;
        }
        SDL_FreeSurface(out[slot]);
        SDL_FreeSurface(in[slot]);
    }
    back.header.imageHeight = 16384;  // far more than the Image blob can hold
    e.header.titleHeight = 0;
    EXPECT_FALSE(UnpackPictures(back) || PackPictures(e));
    FreeEpisodeBuffers(e);
    FreeEpisodeBuffers(back);
}
