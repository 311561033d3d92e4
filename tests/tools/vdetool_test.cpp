#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <set>
#include <sstream>

#include "colour_match.h"
#include "episode_file.h"
#include "picture_packing.h"
#include "test_support.h"
#include "vdetool.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

const std::string kPack =
    "pack -o out.vde --image Image.bmp --title Title.bmp --lowtitle LowTitle.bmp ";

// The status of the command line (words apart by spaces), and what it wrote
// to its output and its errors.
std::pair<int, std::string> Tool(const std::string& command) {
    std::vector<std::string> words;
    std::istringstream in(command);
    for (std::string word; in >> word;) words.push_back(word);
    std::vector<const char*> argv = {"vdetool"};
    for (const std::string& word : words) argv.push_back(word.c_str());
    FILE* stream = std::tmpfile();
    const int status = RunVdetool(static_cast<int>(argv.size()), argv.data(), stream, stream);
    std::string text(static_cast<size_t>(std::ftell(stream)), '\0');
    std::rewind(stream);
    text.resize(std::fread(&text[0], 1, text.size(), stream));
    std::fclose(stream);
    return {status, text};
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
        fs::copy(DataFile("episode"), ".");
        fs::copy_file(DataFile("palette/menu.pal"), "menu.pal");
        fs::copy_file(BmpSuiteFile("g/pal8.bmp"), "Image.bmp");
        fs::copy_file(DataFile("pictures/bmp_8.bmp"), "Title.bmp");
        fs::copy_file(DataFile("pictures/bmp_4.bmp"), "LowTitle.bmp");
    }

    TempDir dir_{true};
};

}  // namespace

// pack writes a fresh editor's header but for the picture sizes, and each
// pixel as the rule's index of its colour; unpacked as BMP or PNG and packed
// again it gives the same bytes; convert gives the rule's indices too.
TEST_F(Vdetool, PackUnpackConvert) {
    SDL_Color palette[256];
    LoadSamplePalette(palette);
    ASSERT_EQ(Tool(kPack).first, 0);
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
    EXPECT_EQ(Bytes(e.titlePixels, e.titlePixels + 35), RuleIndices("Title.bmp", palette));
    EXPECT_EQ(Bytes(e.lowTitlePixels, e.lowTitlePixels + 35), RuleIndices("LowTitle.bmp", palette));
    FreeEpisodeBuffers(e);
    ASSERT_EQ(Tool("convert Image.bmp c.png").first + Tool("convert c.png c.bmp").first, 0);
    EXPECT_EQ(RuleIndices("c.bmp", palette), RuleIndices("Image.bmp", palette));
    for (const std::string type : {"BMP", "png"}) {
        ASSERT_EQ(Tool("unpack out.vde --format " + type).first, 0);
        const std::string kind = type == "BMP" ? "bmp " : "png ";
        ASSERT_EQ(Tool("pack -o out.vde --image Image." + kind + "--title Title." + kind +
                       "--lowtitle LowTitle." + kind)
                      .first,
                  0);
        EXPECT_EQ(ReadFileBytes("out.vde"), packed) << type;
    }
}

// Each command line ends with its status and output; a wrong one (status 2)
// or a failed one (status 1) leaves the files as they were.
TEST_F(Vdetool, CommandLines) {
    const std::string name = "\xC3\x85ke\"\xC3\x84\"\x01\\",
                      shown = "\"\xC3\x85ke\\\"\xC3\x84\\\"\\u0001\\\\\"";
    const std::tuple<std::string, int, std::string> rows[] = {
        {"", 2, "Usage: vdetool COMMAND"},
        {"--help", 0, "Usage: vdetool COMMAND"},
        {"frob", 2, "vdetool: unknown command 'frob'\nTry 'vdetool --help'.\n"},
        {"info --frob=1 x", 2, "info: unknown option '--frob'\nTry 'vdetool info --help'.\n"},
        {"info -x x", 2, "info: unknown option '-x'\n"},
        {"info --json=yes x", 2, "info: --json takes no value\n"},
        {"unpack x -o", 2, "unpack: --output needs a value\n"},
        {"info", 2, "info: give one episode file\n"},
        {"unpack x --format gif", 2, "unpack: --format is bmp or png, not 'gif'\n"},
        {"convert a.bmp b.gif", 2, "convert: 'b.gif' does not end in .bmp or .png\n"},
        {kPack + "-o b.vde", 2, "pack: --output is given twice\n"},
        {kPack + "--place 4294967296", 2,
         "--place is a number from 0 to 4294967295, not '4294967296'"},
        {kPack + "--place 9x", 2, "not '9x'\n"},
        {kPack + "--place=", 2, "not ''\n"},
        {kPack + "--name \xCE\xA9", 2,
         "pack: --name: the character U+03A9 is not in code page 850\n"},
        {kPack + "--name " + std::string(128, 'n'), 2,
         "128 characters, but the field holds at most 127\n"},
        {kPack + "--start-level \xFF", 2, "pack: --start-level: the text is not valid UTF-8\n"},
        {"pack --frob --help", 0, "Usage: vdetool pack -o OUT.vde"},
        {"info valid_small.vde", 0,
         "file:          valid_small.vde\nsize:          462 bytes\n"
         "name:          \"#Kelto@Episode\"\nstartLevel:    \"CASTLE1.VLV\"\n"
         "place:         7\nheaderSize:    204 (0x000000CC)\n"
         "episodeExtraA: 1 (0x00000001)\nepisodeExtraB: 0 (0x00000000)\n"
         "imageExtraA:   6750360 (0x00670098)\nimageExtraB:   7800928 (0x00770860)\n"
         "titleExtraA:   7057612 (0x006BB0CC)\ntitleExtraB:   7364864 (0x00706100)\n"
         "image:         16x12\ntitle:         8x4 (the LowTitle too)\n"
         "imageBlob:     162 bytes\ntitleBlob:     40 bytes\nlowTitleBlob:  40 bytes\n"
         "compression:   1.06:1\ncomplete:      yes\nunpacks:       yes\n"},
        {"info --json valid_small.vde", 0,
         "\"blobs\": {\"image\": 162, \"title\": 40, \"lowTitle\": 40},\n"
         "  \"compressionRatio\": 1.0579,\n  \"complete\": true,\n  \"unpacks\": true,\n"
         "  \"problem\": null\n}\n"},
        {"info cut_in_header.vde", 1,
         "size:          100 bytes\ncomplete:      no (file ends inside the header)\n"
         "unpacks:       no (the file is not complete)\n"
         "vdetool: cut_in_header.vde: file ends inside the header\n"},
        {"info --json cut_in_header.vde", 1,
         "\"size\": 100,\n  \"header\": null,\n  \"blobs\": null,\n  \"compressionRatio\": null,\n"
         "  \"complete\": false,\n  \"unpacks\": false,\n"
         "  \"problem\": \"file ends inside the header\"\n"},
        {"info cut_in_image_blob.vde", 1, "compression:   unknown\ncomplete:      no (Image blob"},
        {"info corrupt_image_stream.vde", 1,
         "complete:      yes\nunpacks:       no (the Image blob is not a whole zlib stream "
         "(16x12 "},
        {"check valid_small.vde", 0, "valid_small.vde: ok\n"},
        {"check cut_in_header.vde none.vde valid_small.vde", 1,
         "cut_in_header.vde: file ends inside the header\n"
         "none.vde: cannot open: No such file or directory\nvalid_small.vde: ok\n"},
        {kPack + "--template header_size_minus_1.vde --place 4294967295 --name " + name, 0, ""},
        {"info --json out.vde", 0,
         "\"name\": " + shown +
             ",\n    \"startLevel\": \"CASTLE1.VLV\",\n"
             "    \"place\": 4294967295,\n    \"headerSize\": -1,\n    \"headerSizeHex\": "
             "\"0xFFFFFFFF\",\n"},
        {kPack + "--palette " + DataFile("palette/short.pal"), 0,
         "short.pal: warning: the palette holds 75 of 256 colours; the rest are black\n"},
        {kPack + "--palette none.pal", 1,
         "vdetool: none.pal: cannot read the palette: No such file"},
        {kPack + "--template none.vde", 1,
         "vdetool: none.vde: cannot open: No such file or directory\n"},
        {"pack -o o.vde --image Image.png --title Title.bmp --lowtitle Title.bmp", 1,
         "vdetool: Image.png: cannot open: No such file or directory\n"},
        {"pack -o o.vde --image Title.bmp --title Title.bmp --lowtitle Image.bmp", 1,
         "vdetool: Image.bmp: Title and LowTitle differ in size (7x5 and 127x64)\n"},
        {"pack -o no/o.vde --image Title.bmp --title Title.bmp --lowtitle Title.bmp", 1,
         "vdetool: no/o.vde: cannot write: No such file or directory\n"},
        {"unpack valid_small.vde -o menu.pal", 1, "vdetool: menu.pal: not a directory\n"},
        {"unpack valid_small.vde -o no/dir", 1,
         "vdetool: no/dir: cannot make the directory: No such"},
        {"unpack corrupt_image_stream.vde -o new", 1,
         "corrupt_image_stream.vde: the Image blob is not"},
        {"unpack cut_in_header.vde", 1,
         "vdetool: cut_in_header.vde: file ends inside the header\n"},
        {"convert Title.bmp no/c.bmp", 1,
         "vdetool: no/c.bmp: cannot write: No such file or directory\n"},
    };
    for (const auto& [command, status, phrase] : rows) {
        const std::set<std::string> before = Listing();
        const auto [given, output] = Tool(command);
        EXPECT_EQ(given, status) << command << "\n" << output;
        EXPECT_NE(output.find(phrase), std::string::npos) << command << "\n" << output;
        EXPECT_TRUE(status == 0 || Listing() == before) << command;
    }
}

// The built program ends with the command's status, also when its output
// cannot be written.
TEST_F(Vdetool, BuiltProgram) {
    const std::pair<const char*, int> runs[] = {{" info valid_small.vde > /dev/null", 0},
                                                {" info valid_small.vde > /dev/full", 1},
                                                {" info none.vde", 1},
                                                {" pack", 2}};
    for (const auto& [line, status] : runs) {
        const int raw = std::system((VDETOOL_PATH + std::string(line) + " 2> /dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == status) << line;
    }
}
