#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <set>

#include "colour_match.h"
#include "episode_file.h"
#include "picture_packing.h"
#include "test_support.h"
#include "vdetool.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Line = std::vector<std::string>;
namespace fs = std::filesystem;

// The command's status, and what it wrote to its output and its errors.
std::pair<int, std::string> Tool(const Line& line) {
    std::vector<const char*> argv = {"vdetool"};
    for (const std::string& argument : line) argv.push_back(argument.c_str());
    FILE* stream = std::tmpfile();
    const int status = RunVdetool(static_cast<int>(argv.size()), argv.data(), stream, stream);
    std::string text(static_cast<size_t>(std::ftell(stream)), '\0');
    std::rewind(stream);
    text.resize(std::fread(&text[0], 1, text.size(), stream));
    std::fclose(stream);
    return {status, text};
}

// pack of Image, Title and LowTitle in the working directory into out.vde.
Line Pack(const Line& extra = {}, const std::string& type = "bmp") {
    Line line = {
        "pack",          "-o",         "out.vde",         "--image", "Image." + type, "--title",
        "Title." + type, "--lowtitle", "LowTitle." + type};
    line.insert(line.end(), extra.begin(), extra.end());
    return line;
}

// Every file under the working directory with its size.
std::set<std::string> Listing() {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
        files.insert(entry.path().string() +
                     std::to_string(fs::is_regular_file(entry) ? fs::file_size(entry) : 0));
    }
    return files;
}

// The rule's index of the colour of each pixel of an 8-bit BMP file as
// SDL_LoadBMP reads it.
Bytes RuleIndices(const std::string& path, const SDL_Color* palette) {
    SDL_Surface* bmp = SDL_LoadBMP(path.c_str());
    Bytes indices;
    for (int i = 0; i < bmp->w * bmp->h; ++i) {
        const uint8_t value =
            static_cast<uint8_t*>(bmp->pixels)[i / bmp->w * bmp->pitch + i % bmp->w];
        const SDL_Color c = bmp->format->palette->colors[value];
        indices.push_back(NearestReferenceColour(c.r, c.g, c.b, palette));
    }
    SDL_FreeSurface(bmp);
    return indices;
}

class Vdetool : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadSamplePalette(palette_);
        fs::copy(DataFile("episode"), ".");
        fs::copy_file(DataFile("palette/menu.pal"), "menu.pal");
        fs::copy_file(BmpSuiteFile("g/pal8.bmp"), "Image.bmp");
        fs::copy_file(DataFile("pictures/bmp_8.bmp"), "Title.bmp");
        fs::copy_file(DataFile("pictures/bmp_4.bmp"), "LowTitle.bmp");
    }

    TempDir dir_{true};
    SDL_Color palette_[256];
};

}  // namespace

// pack writes a fresh editor's header but for the picture sizes, and each
// pixel as the rule's index of its colour; unpacked as BMP or PNG and packed
// again it gives the same bytes; convert gives the rule's indices too.
TEST_F(Vdetool, PackUnpackConvert) {
    ASSERT_EQ(Tool(Pack()).first, 0);
    const Bytes packed = ReadFileBytes("out.vde");
    EpisodeRecord e;
    SetFreshEpisode(e);
    std::tie(e.header.imageWidth, e.header.imageHeight) = std::make_pair(127, 64);
    std::tie(e.header.titleWidth, e.header.titleHeight) = std::make_pair(7, 5);
    Bytes header(kEpisodeHeaderBytes);
    EncodeEpisodeHeader(e.header, header.data());
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + kEpisodeHeaderBytes), header);
    ASSERT_TRUE(ReadEpisodeFile(e, "out.vde") && UnpackPictures(e));
    EXPECT_EQ(Bytes(e.imagePixels, e.imagePixels + 127 * 64), RuleIndices("Image.bmp", palette_));
    EXPECT_EQ(Bytes(e.titlePixels, e.titlePixels + 35), RuleIndices("Title.bmp", palette_));
    EXPECT_EQ(Bytes(e.lowTitlePixels, e.lowTitlePixels + 35),
              RuleIndices("LowTitle.bmp", palette_));
    FreeEpisodeBuffers(e);
    ASSERT_EQ(Tool({"convert", "Image.bmp", "c.png"}).first, 0);
    ASSERT_EQ(Tool({"convert", "c.png", "c.bmp"}).first, 0);
    EXPECT_EQ(RuleIndices("c.bmp", palette_), RuleIndices("Image.bmp", palette_));
    for (const auto& [format, type] : {std::pair("BMP", "bmp"), std::pair("png", "png")}) {
        ASSERT_EQ(Tool({"unpack", "out.vde", "--format", format}).first, 0);
        ASSERT_EQ(Tool(Pack({}, type)).first, 0);
        EXPECT_EQ(ReadFileBytes("out.vde"), packed) << type;
    }
}

// Each command line ends with its status and output; a wrong one (status 2)
// or a failed one (status 1) leaves the files as they were.
TEST_F(Vdetool, CommandLines) {
    const std::string name = "\xC3\x85ke \"\xC3\x84\"\t\\",
                      shown = "\"\xC3\x85ke \\\"\xC3\x84\\\"\\u0009\\\\\"";
    const std::tuple<Line, int, std::string> rows[] = {
        {{}, 2, "Usage: vdetool COMMAND"},
        {{"--help"}, 0, "Usage: vdetool COMMAND"},
        {{"--version"}, 0, "vdetool "},
        {{"frobnicate"}, 2, "vdetool: unknown command 'frobnicate'\nTry 'vdetool --help'.\n"},
        {{"--frob"}, 2, "vdetool: unknown option '--frob'\n"},
        {{"info", "--frob=1", "x"},
         2,
         "info: unknown option '--frob'\nTry 'vdetool info --help'.\n"},
        {{"info", "-x", "x"}, 2, "info: unknown option '-x'\n"},
        {{"info", "--json=yes", "x"}, 2, "info: --json takes no value\n"},
        {{"unpack", "x", "-o"}, 2, "unpack: --output needs a value\n"},
        {{"unpack", "x", "--format"}, 2, "unpack: --format needs a value\n"},
        {{"info"}, 2, "info: give one episode file\n"},
        {{"unpack", "x", "--format", "gif"}, 2, "unpack: --format is bmp or png, not 'gif'\n"},
        {{"convert", "a.bmp", "b.gif"}, 2, "convert: 'b.gif' does not end in .bmp or .png\n"},
        {Pack({"-o", "b.vde"}), 2, "pack: --output is given twice\n"},
        {{"pack", "-o", "out.vde"}, 2, "pack: --image is missing\n"},
        {Pack({"extra"}), 2, "pack: unexpected 'extra'"},
        {Pack({"--place", "4294967296"}), 2,
         "--place is a number from 0 to 4294967295, not '4294967296'"},
        {Pack({"--place", "9x"}), 2, "not '9x'\n"},
        {Pack({"--place="}), 2, "not ''\n"},
        {Pack({"--name", "\xCE\xA9"}), 2,
         "pack: --name: the character U+03A9 is not in code page 850\n"},
        {Pack({"--name", std::string(128, 'n')}), 2,
         "--name: 128 characters, but the field holds at most 127"},
        {Pack({"--start-level", "\xFF"}), 2, "pack: --start-level: the text is not valid UTF-8\n"},
        {{"pack", "--frob", "--help"}, 0, "Usage: vdetool pack -o OUT.vde"},
        {{"info", "--", "--help"}, 1, "vdetool: --help: cannot open: No such file or directory\n"},
        {{"info", "valid_small.vde"},
         0,
         "file:          valid_small.vde\nsize:          462 bytes\nname:          "
         "\"#Kelto@Episode\"\n"
         "startLevel:    \"CASTLE1.VLV\"\nplace:         7\nheaderSize:    204 (0x000000CC)\n"
         "episodeExtraA: 1 (0x00000001)\nepisodeExtraB: 0 (0x00000000)\n"
         "imageExtraA:   6750360 (0x00670098)\nimageExtraB:   7800928 (0x00770860)\n"
         "titleExtraA:   7057612 (0x006BB0CC)\ntitleExtraB:   7364864 (0x00706100)\n"
         "image:         16x12\ntitle:         8x4 (the LowTitle too)\nimageBlob:     162 bytes\n"
         "titleBlob:     40 bytes\nlowTitleBlob:  40 bytes\ncompression:   1.06:1\n"
         "complete:      yes\nunpacks:       yes\n"},
        {{"info", "--json", "valid_small.vde"},
         0,
         "\"blobs\": {\"image\": 162, \"title\": 40, \"lowTitle\": 40},\n  \"compressionRatio\": "
         "1.0579,\n"
         "  \"complete\": true,\n  \"unpacks\": true,\n  \"problem\": null\n}\n"},
        {{"info", "cut_in_header.vde"},
         1,
         "size:          100 bytes\ncomplete:      no (file ends inside the header)\nunpacks:      "
         " no "
         "(the file is not complete)\nvdetool: cut_in_header.vde: file ends inside the header\n"},
        {{"info", "--json", "cut_in_header.vde"},
         1,
         "\"size\": 100,\n  \"header\": null,\n  \"blobs\": null,\n  \"compressionRatio\": null,\n"
         "  \"complete\": false,\n  \"unpacks\": false,\n  \"problem\": \"file ends inside the "
         "header\"\n"},
        {{"info", "cut_in_image_blob.vde"},
         1,
         "compression:   unknown\ncomplete:      no (Image blob"},
        {{"info", "corrupt_image_stream.vde"},
         1,
         "complete:      yes\nunpacks:       no (the Image blob is not a whole zlib stream "
         "(16x12 "},
        {{"check", "valid_small.vde", "valid_default_sizes.vde"},
         0,
         "valid_small.vde: ok\nvalid_default_sizes.vde: ok\n"},
        {{"check", "cut_in_header.vde", "lowtitle_not_zlib.vde", "none.vde", "valid_small.vde"},
         1,
         "cut_in_header.vde: file ends inside the header\nlowtitle_not_zlib.vde: the LowTitle blob "
         "is "
         "not a whole zlib stream (8x4 pixels)\nnone.vde: cannot open: No such file or directory\n"
         "valid_small.vde: ok\n"},
        {Pack({"--template", "header_size_minus_1.vde", "--name", name, "--place", "4294967295"}),
         0, ""},
        {{"info", "out.vde"},
         0,
         "name:          " + shown +
             "\nstartLevel:    \"CASTLE1.VLV\"\nplace:         4294967295\n"
             "headerSize:    -1 (0xFFFFFFFF)\n"},
        {Pack({"--template", "out.vde", "--start-level", "CASTLE9.VLV", "--place", "10"}), 0, ""},
        {{"info", "--json", "out.vde"},
         0,
         "\"name\": " + shown +
             ",\n    \"startLevel\": \"CASTLE9.VLV\",\n    \"place\": 10,\n"
             "    \"headerSize\": -1,\n    \"headerSizeHex\": \"0xFFFFFFFF\",\n"},
        {Pack({"--palette", DataFile("palette/short.pal")}), 0,
         "short.pal: warning: the palette holds 75 of 256 colours; the rest are black\n"},
        {Pack({"--palette", "none.pal"}), 1,
         "vdetool: none.pal: cannot read the palette: No such file"},
        {Pack({"--template", "none.vde"}), 1,
         "vdetool: none.vde: cannot open: No such file or directory\n"},
        {{"pack", "-o", "o.vde", "--image", "menu.pal", "--title", "Title.bmp", "--lowtitle",
          "Title.bmp"},
         1,
         "vdetool: menu.pal: not a BMP or PNG file\n"},
        {{"pack", "-o", "o.vde", "--image", "Title.bmp", "--title", "Title.bmp", "--lowtitle",
          "Image.bmp"},
         1,
         "vdetool: Image.bmp: Title and LowTitle differ in size (7x5 and 127x64)\n"},
        {{"pack", "-o", "no/o.vde", "--image", "Title.bmp", "--title", "Title.bmp", "--lowtitle",
          "Title.bmp"},
         1,
         "vdetool: no/o.vde: cannot write: No such file or directory\n"},
        {{"unpack", "valid_small.vde", "-o", "menu.pal"},
         1,
         "vdetool: menu.pal: not a directory\n"},
        {{"unpack", "valid_small.vde", "-o", "no/dir"},
         1,
         "vdetool: no/dir: cannot make the directory: No such"},
        {{"unpack", "corrupt_image_stream.vde"},
         1,
         "corrupt_image_stream.vde: the Image blob is not a whole"},
        {{"unpack", "cut_in_header.vde"},
         1,
         "vdetool: cut_in_header.vde: file ends inside the header\n"},
        {{"convert", "Title.bmp", "no/c.bmp"},
         1,
         "vdetool: no/c.bmp: cannot write: No such file or directory\n"},
    };
    for (const auto& [line, status, phrase] : rows) {
        const std::set<std::string> before = Listing();
        const auto [given, output] = Tool(line);
        EXPECT_EQ(given, status) << output;
        EXPECT_NE(output.find(phrase), std::string::npos) << output;
        EXPECT_TRUE(status == 0 || Listing() == before) << output;
    }
}

// The built program ends with the command's status, also when its output
// cannot be written.
TEST_F(Vdetool, BuiltProgram) {
    const std::string valid = " info valid_small.vde";
    for (const auto& [line, status] :
         {std::pair(valid + " > /dev/null", 0), std::pair(valid + " > /dev/full", 1),
          std::pair(std::string(" info none.vde"), 1), std::pair(std::string(" pack"), 2)}) {
        const int raw = std::system((VDETOOL_PATH + line + " 2> /dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == status) << line;
    }
}
