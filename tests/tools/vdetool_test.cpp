#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "byte_order.h"
#include "colour_match.h"
#include "episode_file.h"
#include "picture_file.h"
#include "picture_packing.h"
#include "test_support.h"
#include "vdetool.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

// pack of Image, Title and LowTitle of `type` in the working directory.
std::string Pack(const std::string& type = "bmp") {
    return "pack -o out.vde --image Image." + type + " --title Title." + type +
           " --lowtitle LowTitle." + type + " ";
}

// The status of the command line (words apart by spaces), and what it wrote
// to its output and its errors.
std::pair<int, std::string> Tool(const std::string& command) {
    std::istringstream in(command);
    const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
    std::vector<const char*> argv = {"vdetool"};
    for (const std::string& word : words) argv.push_back(word == "''" ? "" : word.c_str());
    FILE* stream = std::tmpfile();
    const int status = RunVdetool(int(argv.size()), argv.data(), stream, stream);
    std::string text(size_t(std::ftell(stream)), '\0');
    std::rewind(stream);
    text.resize(std::fread(&text[0], 1, text.size(), stream));
    std::fclose(stream);
    return {status, text};
}

// The rule's index of the colour of each pixel of an 8-bit BMP file as
// SDL_LoadBMP reads it.
Bytes RuleIndices(const std::string& path, const SDL_Color* palette) {
    SDL_Surface* bmp = SDL_LoadBMP(path.c_str());
    Bytes indices;
    for (int i = 0; i < bmp->w * bmp->h; ++i) {
        const SDL_Color c = bmp->format->palette->colors[IndexAt(bmp, i % bmp->w, i / bmp->w)];
        indices.push_back(NearestReferenceColour(c.r, c.g, c.b, palette));
    }
    SDL_FreeSurface(bmp);
    return indices;
}

class Vdetool : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::copy(DataFile("episode"), ".");
        fs::copy_file(DataFile("palette/menu.pal"), "menu.pal");
        fs::copy_file(BmpSuiteFile("g/pal8.bmp"), "Image.bmp");
        fs::copy_file(DataFile("pictures/bmp_8.bmp"), "Title.bmp");
        fs::copy_file(DataFile("pictures/bmp_4.bmp"), "LowTitle.bmp");
    }

    TempDir dir_{true};
};

}  // namespace

// pack writes the fresh header, the rule's indices, and the same bytes again after unpack.
TEST_F(Vdetool, PackUnpackConvert) {
    SDL_Color palette[256];
    LoadSamplePalette(palette);
    ASSERT_EQ(Tool(Pack()).first, 0);
    const Bytes packed = ReadFileBytes("out.vde");
    EpisodeRecord e;
    SetFreshEpisode(e);
    std::tie(e.header.imageWidth, e.header.imageHeight, e.header.titleWidth, e.header.titleHeight) =
        std::make_tuple(127, 64, 7, 5);
    Bytes header(kEpisodeHeaderBytes);
    EncodeEpisodeHeader(e.header, header.data());
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + kEpisodeHeaderBytes), header);
    ASSERT_TRUE(ReadEpisodeFile(e, "out.vde") && UnpackPictures(e));
    EXPECT_EQ(Bytes(e.imagePixels, e.imagePixels + 127 * 64), RuleIndices("Image.bmp", palette));
    EXPECT_EQ(Bytes(e.lowTitlePixels, e.lowTitlePixels + 35), RuleIndices("LowTitle.bmp", palette));
    FreeEpisodeBuffers(e);
    ASSERT_EQ(Tool("convert Image.bmp c.png").first + Tool("convert c.png c.bmp").first, 0);
    EXPECT_EQ(RuleIndices("c.bmp", palette), RuleIndices("Image.bmp", palette));
    for (const std::string type : {"bmp", "png"}) {
        ASSERT_EQ(Tool("unpack out.vde --format " + type).first + Tool(Pack(type)).first, 0);
        EXPECT_EQ(ReadFileBytes("out.vde"), packed) << type;
    }
}

// Each command line ends with its status and message; a failed one leaves no file behind.
TEST_F(Vdetool, CommandLines) {
    const std::string name = "\xC3\x85ke\"\xC3\x84\"\x01\\",
                      shown = "\"\xC3\x85ke\\\"\xC3\x84\\\"\\u0001\\\\\"";
    const std::tuple<std::string, int, std::string> rows[] = {
        {"", 2, "Usage: vdetool COMMAND"},
        {"--help", 0, "Usage: vdetool COMMAND"},
        {"frob", 2, "vdetool: unknown command 'frob'\nTry 'vdetool --help'.\n"},
        {"info --frob=1 x", 2, "info: unknown option '--frob'\nTry 'vdetool info --help'.\n"},
        {"unpack x -o", 2, "unpack: --output needs a value\n"},
        {Pack() + "-o b.vde", 2, "pack: --output is given twice\n"},
        {Pack() + "--place 4294967296", 2, "0 to 4294967295, not '4294967296'\n"},
        {Pack() + "--place 9x", 2, "not '9x'\n"},
        {Pack() + "--name \xCE\xA9", 2, "--name: the character U+03A9 is not in code page 850\n"},
        {Pack() + "--start-level \xCE\xA9", 2, "--start-level: the character U+03A9 is not in"},
        {Pack() + "--name " + std::string(128, 'n'), 2,
         "128 characters, but the field holds at most 127"},
        {"pack --frob --help", 0, "Usage: vdetool pack -o OUT.vde"},
        {Pack() + "--name -h --place 9x", 2, "not '9x'\n"},
        {"pack --t x", 2, "pack: option '--t' is ambiguous: --title --template\n"},
        {"--vers", 0, "vdetool "},
        {"help -h", 0, "Usage: vdetool COMMAND"},
        {"info valid_small.vde", 0,
         "image:         16x12\ntitle:         8x4 (the LowTitle too)\n"
         "imageBlob:     162 bytes\ntitleBlob:     40 bytes\nlowTitleBlob:  40 bytes\n"
         "compression:   1.06:1\ncomplete:      yes\nunpacks:       yes\n"},
        {"info cut_in_header.vde", 1,
         "file:          cut_in_header.vde\nsize:          100 bytes\n"
         "complete:      no (file ends inside the header)\n"
         "unpacks:       no (the file is not complete)\nvdetool: cut_in_header.vde: file ends"},
        {"info --json cut_in_header.vde", 1, "\"blobs\": null,\n  \"compressionRatio\": null,"},
        {"info --json cut_in_image_blob.vde", 1, "\"image\": null, \"title\": null, \"lowT"},
        {"info cut_in_lowtitle_blob.vde", 1, "titleBlob:     40 bytes\nlowTitleBlob:  unknown\n"},
        {"check valid_small.vde cut_in_header.vde none.vde", 1,
         "valid_small.vde: ok\ncut_in_header.vde: file ends inside the header\nnone.vde: cannot"},
        {Pack() + "--template header_size_minus_1.vde --place 4294967295 --name " + name, 0, ""},
        {"info --json out.vde", 0,
         "\"name\": " + shown + ",\n    \"startLevel\": \"CASTLE1.VLV\",\n"},
        {"info out.vde", 0, "place:         4294967295\nheaderSize:    -1 (0xFFFFFFFF)\n"},
        {Pack() + "--place 0", 0, ""},
        {Pack() + "--name ''", 2, "pack: --name is empty\n"},
        {Pack() + "--palette " + DataFile("palette/short.pal"), 1,
         "short.pal: not a palette: 301 "},
        {Pack() + "--palette " + DataFile("palette/long.pal"), 1, "long.pal: not a palette: more"},
        {"ifno x", 2, "unknown command 'ifno'; did you mean 'info'?\n"},
        {"info --jsno x", 2, "unknown option '--jsno'; did you mean '--json'?\n"},
        {"help convert", 0, "Usage: vdetool convert IN OUT"},
        {"help frob", 2, "unknown command 'frob'\n"},
        {"info --json valid_small.vde b\xE9.vde", 0, "[\n{\n  \"file\": \"valid_small.vde\""},
        {"info --json b\xE9.vde", 0, "{\n  \"file\": \"b\\u00E9.vde\""},
        {"palette p.txt", 2, "'p.txt' does not end in .gpl, .act, .hex or .png"},
        {"palette - --format hex", 0, "000000\n111111\n"},
        {"palette - --format gpl --palette " + DataFile("palette/menu.pal"), 0,
         "GIMP Palette\nName: menu\nColumns: 16\n#\n  0   0   0\tIndex 0\n 17"},
        {"palette p.gpl", 0, ""},
        {"palette p.act", 0, ""},
        {"palette p.png", 0, ""},
        {"convert Title.bmp - --format png", 0, "\x89PNG\r\n"},
        {"convert -o batch Title.bmp none.bmp LowTitle.bmp --format png --dither fs", 1,
         "vdetool: none.bmp: cannot open"},
        {"convert -o menu.pal Title.bmp", 1, "vdetool: menu.pal: not a directory that exists\n"},
        {"convert -o batch Image.bmp ./Image.bmp", 1,
         "vdetool: ./Image.bmp: batch/Image.bmp is written from an earlier picture\n"},
        {"convert -o . x.png x.bmp", 1,
         "vdetool: x.png: ./x.bmp is one of the pictures to convert"},
        {"convert -o batch none/Title.bmp Title.bmp", 1, "vdetool: none/Title.bmp: cannot open"},
        {"convert Title.bmp d.bmp --dither FS", 0, ""},
        {"convert Title.bmp d.txt", 2, "'d.txt' does not end in .bmp or .png"},
        {"convert Title.bmp d.bmp --dither bogus", 2, "--dither is none, fs or ordered"},
        {"convert Title.bmp d.bmp --background 12345g", 2, "--background is a colour RRGGBB"},
        {"convert alpha.png a.bmp", 0, "alpha.png: transparent pixels laid over 000000"},
        {"unpack valid_small.vde -o half", 1, "half/Title.bmp: cannot write"},
        {Pack() + "--palette none.pal", 1, "vdetool: none.pal: cannot read the palette: No such"},
        {Pack() + "--template none.vde", 1, "vdetool: none.vde: cannot open: No such file"},
        {"pack -o o.vde --image Title.bmp --title Title.bmp --lowtitle Image.bmp", 1,
         "vdetool: Image.bmp: Title and LowTitle differ in size (7x5 and 127x64)\n"},
        {"pack -o no/o.vde --image Title.bmp --title Title.bmp --lowtitle Title.bmp", 1,
         "vdetool: no/o.vde: cannot write: No such file or directory\n"},
        {"unpack valid_small.vde -o no/new", 1, "vdetool: no/new: cannot make the directory: No"},
        {"unpack corrupt_image_stream.vde -o new", 1, "corrupt_image_stream.vde: the Image blob"},
        {"convert Title.bmp no/c.bmp", 1, "vdetool: no/c.bmp: cannot write: No such file"},
    };
    fs::copy_file("valid_small.vde", "b\xE9.vde");
    fs::copy_file(DataFile("pictures/png_6_8.png"), "alpha.png");
    fs::copy_file("alpha.png", "x.png");
    fs::copy_file("Title.bmp", "x.bmp");
    fs::create_directories("batch");
    fs::create_directories("half/Title.bmp");
    for (const auto& [command, status, phrase] : rows) {
        const auto [given, output] = Tool(command);
        EXPECT_EQ(given, status) << command << "\n" << output;
        EXPECT_NE(output.find(phrase), std::string::npos) << command << "\n" << output;
    }
    EXPECT_FALSE(fs::exists("o.vde") || fs::exists("new") || fs::exists("b.vde") ||
                 fs::exists("half/Image.bmp"));
    EXPECT_TRUE(fs::exists("batch/Title.png") && fs::exists("batch/LowTitle.png") &&
                fs::exists("batch/Title.bmp"));
    EXPECT_EQ(Tool("convert alpha.png a.bmp --background 000000").second, "");
    // Plain records of several files: one blank line between them, none after.
    EXPECT_EQ(Tool("info valid_small.vde valid_small.vde").second.size(),
              2 * Tool("info valid_small.vde").second.size() + 1);
    // Nothing is tried in a directory that is a file.
    EXPECT_EQ(Tool("unpack valid_small.vde -o menu.pal").second,
              "vdetool: menu.pal: not a directory\n");
    // The palette's 256 entries in order, duplicates too, in each format.
    const Bytes pal = ReadFileBytes("menu.pal"), act = ReadFileBytes("p.act"),
                gpl = ReadFileBytes("p.gpl");
    SDL_Surface* swatch = ReadPictureFile("p.png", nullptr);
    ASSERT_TRUE(act.size() == 768 && swatch && swatch->w == 256 && swatch->h == 256);
    for (int i = 0; i < 256 * 256; ++i) {
        const int x = i % 256, y = i / 256, k = y / 16 * 16 + x / 16;
        EXPECT_TRUE(IndexAt(swatch, x, y) == k && act[i % 768] == pal[i % 768 / 3 * 4 + i % 3])
            << i;
    }
    SDL_FreeSurface(swatch);
    EXPECT_EQ(std::count(gpl.begin(), gpl.end(), '\n'), 260);
    // Output that cannot be written is a failure too.
    FILE* full = std::fopen("/dev/full", "w");
    const char* argv[] = {"vdetool", "info", "valid_small.vde"};
    EXPECT_EQ(RunVdetool(3, argv, full, stderr), 1);
    std::fclose(full);
}

// A large 24-bit BMP, read and matched a band of rows at a time, gives the
// indices of the whole picture matched at once, whichever way its rows run.
TEST_F(Vdetool, LargePicturesInBands) {
    SDL_Color palette[256];
    LoadSamplePalette(palette);
    // 1023 pixels (3069 bytes and 3 of padding) by 513 rows: just past where
    // pictures are read in bands, the last band short.
    SDL_Surface* picture = SDL_CreateRGBSurface(0, 1023, 513, 24, 0xFF0000, 0xFF00, 0xFF, 0);
    for (uint32_t i = 0; i < 1023 * 513; ++i) {
        const uint32_t colour = i * 2654435761u >> 8;  // scattered over the colour cube
        uint8_t* row = static_cast<uint8_t*>(picture->pixels) + i / 1023 * picture->pitch;
        std::memcpy(row + i % 1023 * 3, &colour, 3);
    }
    ASSERT_EQ(SDL_SaveBMP(picture, "up.bmp"), 0);
    SDL_FreeSurface(picture);
    // The same picture stored from the top row down, and cut short.
    Bytes up = ReadFileBytes("up.bmp"), down(up.begin(), up.begin() + 54);
    for (size_t row = 513; row-- > 0;) {
        down.insert(down.end(), up.begin() + 54 + row * 3072, up.begin() + 54 + (row + 1) * 3072);
    }
    PutLe32(&down[22], uint32_t(-513));
    ASSERT_TRUE(WriteFileBytes("down.bmp", down));
    ASSERT_TRUE(WriteFileBytes("cut.bmp", Bytes(down.begin(), down.end() - 1000)));
    for (const char* name : {"up.bmp", "down.bmp"}) {
        for (const auto& [dither, option] : {std::pair{Dither::kNone, "none"},
                                             {Dither::kOrdered, "ordered"},
                                             {Dither::kFloydSteinberg, "fs"}}) {
            ASSERT_EQ(Tool(std::string("convert ") + name + " out.bmp --dither " + option).first,
                      0);
            SDL_Surface* whole = ReadPictureFile(name, nullptr);
            SDL_Surface* wanted = MatchPicture(whole, palette, {ColourMatcher::kTable, dither});
            SDL_Surface* made = ReadPictureFile("out.bmp", nullptr);
            ASSERT_TRUE(wanted && made && made->w == 1023 && made->h == 513);
            int differ = 0;
            for (int i = 0; i < 1023 * 513; ++i) {
                differ += IndexAt(made, i % 1023, i / 1023) != IndexAt(wanted, i % 1023, i / 1023);
            }
            EXPECT_EQ(differ, 0) << name << " " << option;
            SDL_FreeSurface(whole), SDL_FreeSurface(wanted), SDL_FreeSurface(made);
        }
    }
    const auto [status, output] = Tool("convert cut.bmp cut_out.bmp");
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find("vdetool: cut.bmp: cannot read the BMP"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists("cut_out.bmp"));
}
