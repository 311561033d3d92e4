#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "bmp_writer.h"
#include "colour_match.h"
#include "episode_file.h"
#include "picture_file.h"
#include "picture_packing.h"
#include "sdl_fixture.h"
#include "temp_dir.h"
#include "test_palette.h"
#include "vdetool.h"

namespace {

struct Result {
    int status;
    std::string out, err;
};

std::string Drain(FILE* stream) {
    std::string text;
    std::rewind(stream);
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
    std::fclose(stream);
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class VdetoolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeTestPalette(palette);
        palette[200] = palette[5];  // only a picture kept as it is keeps index 200
        ASSERT_TRUE(WritePaletteFile("menu.pal", palette));
        std::mt19937 random(3);
        BmpLayout photo;  // 24 bits, a colour of its own almost everywhere
        photo.width = 40;
        photo.height = 30;
        for (int i = 0; i < 40 * 30; ++i) photo.pixels.push_back(random() & 0xFFFFFF);
        ASSERT_TRUE(WriteBmp("image.bmp", photo));
        BmpLayout foreign = Indexed(20, 10, random);  // 8 bits in a palette of its own
        for (int i = 0; i < 256; ++i) foreign.palette.push_back(random() & 0xFFFFFF);
        ASSERT_TRUE(WriteBmp("title.bmp", foreign));
        BmpLayout own = Indexed(20, 10, random);  // 8 bits in the reference palette
        for (int i = 0; i < 256; ++i) {
            own.palette.push_back(uint32_t(palette[i].r) << 16 | uint32_t(palette[i].g) << 8 |
                                  palette[i].b);
        }
        ASSERT_TRUE(WriteBmp("low.bmp", own));
    }

    static BmpLayout Indexed(int w, int h, std::mt19937& random) {
        BmpLayout layout;
        layout.width = w;
        layout.height = h;
        layout.bitsPerPixel = 8;
        for (int i = 0; i < w * h; ++i) layout.pixels.push_back(random() & 0xFF);
        return layout;
    }

    Result Run(const std::vector<std::string>& arguments) {
        std::vector<const char*> argv = {"vdetool"};
        for (const std::string& a : arguments) argv.push_back(a.c_str());
        FILE* out = std::tmpfile();
        FILE* err = std::tmpfile();
        const int status = RunVdetool(static_cast<int>(argv.size()), argv.data(), out, err);
        return Result{status, Drain(out), Drain(err)};
    }

    Result Pack(std::vector<std::string> extra = {}, const std::string& output = "out.vde") {
        std::vector<std::string> arguments = {"pack",      "-o",         output,
                                              "--image",   "image.bmp",  "--title",
                                              "title.bmp", "--lowtitle", "low.bmp"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return Run(arguments);
    }

    // What the editor's import makes of a BMP (EditorApp::ImportPicture): its
    // calls, with the window format from SDL_DisplayFormat.
    SDL_Surface* ImportLikeTheEditor(const char* path) {
        EXPECT_NE(TestScreen(), nullptr);
        SDL_Surface* loaded = LoadBmpSafely(path);
        SDL_Surface* picture = nullptr;
        if (loaded->format->BitsPerPixel == 8) {
            if (!IsReferencePalette(loaded, palette)) ConvertPaletteToReference(loaded, palette);
            picture = CopyIntoPalette(loaded, palette);
        } else {
            picture = SDL_DisplayFormat(loaded);
            EXPECT_TRUE(ConvertTrueColourToReference(&picture, palette));
        }
        SDL_FreeSurface(loaded);
        return picture;
    }

    // What the editor's Save VDE writes for the three pictures and the
    // record's header (EditorApp::SaveEpisode).
    std::vector<uint8_t> SaveLikeTheEditor(EpisodeRecord& episode) {
        SDL_Surface* pictures[] = {ImportLikeTheEditor("image.bmp"),
                                   ImportLikeTheEditor("title.bmp"),
                                   ImportLikeTheEditor("low.bmp")};
        FreeEpisodeBuffers(episode);
        EXPECT_TRUE(SurfacesToBuffers(episode, pictures[0], pictures[1], pictures[2]));
        EXPECT_TRUE(PackPictures(episode));
        EXPECT_TRUE(WriteEpisodeFile(episode, "editor.vde"));
        FreeEpisodeBuffers(episode);
        for (SDL_Surface* picture : pictures) SDL_FreeSurface(picture);
        return ReadFileBytes("editor.vde");
    }

    static EpisodeRecord FreshEditorEpisode() {
        EpisodeRecord episode;
        ResetEpisode(episode);
        SetEpisodeName(episode, "#Kelto@Episode");
        SetStartLevel(episode, "CASTLE1.VLV");
        return episode;
    }

    TempDir dir;
    ScopedChdir here{dir.path()};
    SDL_Color palette[256];
};

// Given the same pictures (24-bit, 8-bit in another palette, 8-bit in the
// reference one) and fields, pack writes the bytes of the editor's Save VDE,
// with a fresh editor's fields and with each field set; the name is stored
// in code page 850.
TEST_F(VdetoolTest, PackWritesWhatTheEditorSaves) {
    Result result = Pack();
    ASSERT_EQ(result.status, 0) << result.err;
    EpisodeRecord fresh = FreshEditorEpisode();
    EXPECT_EQ(ReadFileBytes("out.vde"), SaveLikeTheEditor(fresh));

    result = Pack({"--name", "\xC3\x85ke's \xC3\x84ventyr", "--start-level", "CASTLE9.VLV",
                   "--place", "4294967295"});
    ASSERT_EQ(result.status, 0) << result.err;
    EpisodeRecord edited = FreshEditorEpisode();
    SetEpisodeName(edited, "\x8Fke's \x8Eventyr");
    SetStartLevel(edited, "CASTLE9.VLV");
    edited.header.listPlace = 4294967295u;
    EXPECT_EQ(ReadFileBytes("out.vde"), SaveLikeTheEditor(edited));
}

// With a template, the header is the template's (headerSize, the extras,
// the place, even the bytes after the name's zero byte) but for the picture
// sizes and what options override: what the editor saves after loading it.
TEST_F(VdetoolTest, TemplateKeepsItsHeaderFields) {
    EpisodeRecord old;
    ResetEpisode(old);
    old.header.headerSize = 0x1234;
    old.header.episodeExtraA = -2;
    old.header.imageExtraB = 0x7EADBEEF;
    old.header.titleExtraA = 0x55;
    old.header.listPlace = 99;
    std::memcpy(old.header.name, "Old\0LEFTOVER", 12);
    std::vector<uint8_t> pixels(16 * 16 + 2 * 8 * 8, 7);
    old.header.imageWidth = old.header.imageHeight = 16;
    old.header.titleWidth = old.header.titleHeight = 8;
    old.imagePixels = pixels.data();
    old.titlePixels = old.lowTitlePixels = pixels.data() + 256;
    ASSERT_TRUE(PackPictures(old));
    ASSERT_TRUE(WriteEpisodeFile(old, "old.vde"));
    std::free(old.imageBlob.data);
    std::free(old.titleBlob.data);
    std::free(old.lowTitleBlob.data);

    Result result = Pack({"--template", "old.vde", "--name", "New"});
    ASSERT_EQ(result.status, 0) << result.err;
    EpisodeRecord loaded;
    ASSERT_TRUE(ReadEpisodeFile(loaded, "old.vde"));
    SetEpisodeName(loaded, "New");
    const std::vector<uint8_t> editor = SaveLikeTheEditor(loaded);
    EXPECT_EQ(ReadFileBytes("out.vde"), editor);
    EpisodeRecord packed;
    ASSERT_TRUE(ReadEpisodeFile(packed, "out.vde"));
    EXPECT_EQ(packed.header.headerSize, 0x1234);
    EXPECT_EQ(packed.header.episodeExtraA, -2);
    EXPECT_EQ(packed.header.imageExtraB, 0x7EADBEEF);
    EXPECT_EQ(packed.header.listPlace, 99u);
    EXPECT_EQ(std::memcmp(packed.header.name, "New\0LEFTOVER", 12), 0);
    EXPECT_EQ(packed.header.imageWidth, 40u);
    EXPECT_EQ(packed.header.titleHeight, 10u);
    FreeEpisodeBuffers(packed);
}

// A name with letters beyond ASCII goes into the file as code page 850 and
// comes out of info, plain and JSON, as the same UTF-8, with every header
// integer in decimal and hexadecimal.
TEST_F(VdetoolTest, NamesRoundTripThroughPackAndInfo) {
    const std::string name = "\xC3\x85ke's \xC3\x84ventyr";
    ASSERT_EQ(Pack({"--name", name}).status, 0);
    Result text = Run({"info", "out.vde"});
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(Contains(text.out, "name:          \"" + name + "\"\n")) << text.out;
    EXPECT_TRUE(Contains(text.out, "headerSize:    204 (0x000000CC)")) << text.out;
    EXPECT_TRUE(Contains(text.out, "imageExtraA:   6750360 (0x00670098)")) << text.out;
    EXPECT_TRUE(Contains(text.out, "unpacks:       yes")) << text.out;
    Result json = Run({"info", "--json", "out.vde"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_TRUE(Contains(json.out, "\"name\": \"" + name + "\",")) << json.out;
    EXPECT_TRUE(Contains(json.out, "\"titleExtraBHex\": \"0x00706100\",")) << json.out;
    EXPECT_TRUE(Contains(json.out, "\"problem\": null\n}")) << json.out;
}

// unpack writes the pictures the episode holds, in BMP or PNG, such that
// packing them again gives the same episode file; convert writes what the
// editor's import makes of a picture.
TEST_F(VdetoolTest, UnpackAndConvertGiveThePicturesBack) {
    ASSERT_EQ(Pack().status, 0);
    const std::vector<uint8_t> packed = ReadFileBytes("out.vde");
    for (const char* format : {"bmp", "png"}) {
        const std::string d = std::string("pictures-") + format;
        Result result = Run({"unpack", "out.vde", "-o", d, "--format", format});
        ASSERT_EQ(result.status, 0) << result.err;
        result = Run({"pack", "-o", "again.vde", "--image", d + "/Image." + format, "--title",
                      d + "/Title." + format, "--lowtitle", d + "/LowTitle." + format});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(ReadFileBytes("again.vde"), packed) << format;
    }

    ASSERT_EQ(Run({"convert", "image.bmp", "image.PNG"}).status, 0);
    Problem problem;
    SDL_Surface* converted = ReadPictureFile("image.PNG", &problem);
    SDL_Surface* editor = ImportLikeTheEditor("image.bmp");
    ASSERT_NE(converted, nullptr) << problem.reason;
    for (int y = 0; y < editor->h; ++y) {
        EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(converted->pixels) + y * converted->pitch,
                              static_cast<uint8_t*>(editor->pixels) + y * editor->pitch, editor->w),
                  0);
    }
    SDL_FreeSurface(converted);
    SDL_FreeSurface(editor);
}

// check gives one line per file, ok or the reason, and status 0 only when
// all are sound; info on a damaged file shows what it can and fails with the
// reason.
TEST_F(VdetoolTest, DamagedEpisodesAreReportedWithTheirReason) {
    ASSERT_EQ(Pack().status, 0);
    std::vector<uint8_t> bytes = ReadFileBytes("out.vde");
    ASSERT_TRUE(WriteFileBytes("cut.vde", {bytes.begin(), bytes.end() - 5}));
    ASSERT_TRUE(WriteFileBytes("header.vde", {bytes.begin(), bytes.begin() + 208}));
    std::vector<uint8_t> corrupt = bytes;
    corrupt[212] ^= 0xFF;  // the Image blob's zlib header
    ASSERT_TRUE(WriteFileBytes("corrupt.vde", corrupt));

    EXPECT_EQ(Run({"check", "out.vde", "out.vde"}).status, 0);
    Result result = Run({"check", "out.vde", "cut.vde", "header.vde", "corrupt.vde", "none.vde"});
    EXPECT_EQ(result.status, 1);
    auto le32 = [&](size_t at) {
        return size_t{bytes[at]} | size_t{bytes[at + 1]} << 8 | size_t{bytes[at + 2]} << 16 |
               size_t{bytes[at + 3]} << 24;
    };
    size_t at = 208;
    at += 4 + le32(at);
    at += 4 + le32(at);
    const size_t cutLength = le32(at);  // the LowTitle's, the file's last blob
    const std::string cut = "cut.vde: LowTitle blob length ";
    EXPECT_EQ(result.out.substr(0, 12 + cut.size()), "out.vde: ok\n" + cut) << result.out;
    EXPECT_TRUE(Contains(
        result.out, " runs past the end of the file (" + std::to_string(cutLength - 5) +
                        " bytes left)\n"
                        "header.vde: file ends inside the Image blob length (0 bytes left)\n"
                        "corrupt.vde: the Image blob is not a whole zlib stream (40x30 pixels)\n"
                        "none.vde: cannot open: No such file or directory\n"))
        << result.out;

    result = Run({"info", "corrupt.vde"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(Contains(result.out, "complete:      yes\nunpacks:       no (the Image blob"))
        << result.out;
    EXPECT_EQ(result.err,
              "vdetool: corrupt.vde: the Image blob is not a whole zlib stream (40x30 pixels)\n");
}

// Wrong command lines end with status 2 and a message on the error stream,
// before any file is read or written.
TEST_F(VdetoolTest, WrongUsageGivesStatusTwo) {
    const std::string tooLong(128, 'n');
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"frobnicate"},
        {"info"},
        {"info", "a.vde", "b.vde"},
        {"check"},
        {"unpack", "out.vde", "--format", "gif"},
        {"convert", "image.bmp", "out.gif"},
        {"convert", "image.bmp", "out.bmp", "--bogus"},
        {"pack", "-o", "out.vde", "--image", "image.bmp", "--title", "title.bmp"},
        {"pack", "-o", "out.vde", "--image", "image.bmp", "--title", "title.bmp", "--lowtitle",
         "low.bmp", "--name", "\xCE\xA9mega"},
        {"pack", "-o", "out.vde", "--image", "image.bmp", "--title", "title.bmp", "--lowtitle",
         "low.bmp", "--name", tooLong},
        {"pack", "-o", "out.vde", "--image", "image.bmp", "--title", "title.bmp", "--lowtitle",
         "low.bmp", "--place", "4294967296"},
        {"pack", "-o", "out.vde", "-o", "other.vde"},
    };
    for (const auto& line : lines) {
        const Result result = Run(line);
        const std::string shown = line.empty() ? "(nothing)" : line[0] + " ...";
        EXPECT_EQ(result.status, 2) << shown;
        EXPECT_TRUE(Contains(result.err, line.empty() ? "Usage:" : "vdetool: ")) << shown;
        EXPECT_FALSE(FileExists("out.vde") || FileExists("out.bmp")) << shown;
    }
    EXPECT_TRUE(Contains(Run({"pack", "-o", "out.vde", "--image", "image.bmp", "--title", "t.bmp",
                              "--lowtitle", "low.bmp", "--name", tooLong})
                             .err,
                         "128 characters, but the field holds at most 127"));
    EXPECT_EQ(Run({"pack", "--bogus", "--help"}).status, 0);
}

// A command that fails ends with status 1 and "vdetool: FILE: reason", and
// leaves neither a half-written file nor a temporary one, an existing output
// exactly as it was.
TEST_F(VdetoolTest, FailuresLeaveNoHalfWrittenOutput) {
    ASSERT_TRUE(WriteFileBytes("out.vde", {'o', 'l', 'd'}));
    ASSERT_TRUE(WriteFileBytes("text.bmp", {'n', 'o', 't'}));
    std::mt19937 random(1);
    ASSERT_TRUE(WriteBmp("narrow.bmp", Indexed(19, 10, random)));
    ASSERT_EQ(mkdir("taken.vde", 0755), 0);
    const std::vector<std::string> before = Listing(".");
    const struct {
        std::vector<std::string> line;
        std::string err;
    } failures[] = {
        {{"pack", "-o", "out.vde", "--image", "text.bmp", "--title", "title.bmp", "--lowtitle",
          "low.bmp"},
         "vdetool: text.bmp: not a BMP or PNG file\n"},
        {{"pack", "-o", "out.vde", "--image", "image.bmp", "--title", "title.bmp", "--lowtitle",
          "narrow.bmp"},
         "vdetool: narrow.bmp: Title and LowTitle differ in size (20x10 and 19x10)\n"},
        {{"pack", "-o", "out.vde", "--image", "image.bmp", "--title", "title.bmp", "--lowtitle",
          "low.bmp", "--palette", "none.pal"},
         "vdetool: none.pal: cannot read the palette: No such file or directory\n"},
        {{"pack", "-o", "taken.vde", "--image", "image.bmp", "--title", "title.bmp", "--lowtitle",
          "low.bmp"},
         "vdetool: taken.vde: cannot write: Is a directory\n"},
        {{"convert", "missing.bmp", "out.bmp"},
         "vdetool: missing.bmp: cannot open: No such file or directory\n"},
        {{"unpack", "text.bmp"}, "vdetool: text.bmp: file ends inside the header\n"},
    };
    for (const auto& failure : failures) {
        const Result result = Run(failure.line);
        EXPECT_EQ(result.status, 1) << failure.err;
        EXPECT_EQ(result.err, failure.err);
        EXPECT_EQ(Listing("."), before) << failure.err;
    }
    EXPECT_EQ(ReadFileBytes("out.vde"), (std::vector<unsigned char>{'o', 'l', 'd'}));
}

// The built program runs the commands and ends with their status.
TEST_F(VdetoolTest, TheProgramEndsWithTheCommandsStatus) {
    const std::string program = VDETOOL_PATH;
    const int version = std::system((program + " --version > version.txt").c_str());
    ASSERT_TRUE(WIFEXITED(version));
    EXPECT_EQ(WEXITSTATUS(version), 0);
    const std::vector<uint8_t> text = ReadFileBytes("version.txt");
    EXPECT_TRUE(Contains(std::string(text.begin(), text.end()), "vdetool "));
    const int usage = std::system((program + " pack 2> /dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(usage));
    EXPECT_EQ(WEXITSTATUS(usage), 2);
    const int failed = std::system((program + " info absent.vde 2> /dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(failed));
    EXPECT_EQ(WEXITSTATUS(failed), 1);
    // Output that cannot be written is a failure too.
    ASSERT_EQ(Pack({}).status, 0);
    const int full = std::system((program + " info out.vde > /dev/full 2> /dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(full));
    EXPECT_EQ(WEXITSTATUS(full), 1);
}

}  // namespace
