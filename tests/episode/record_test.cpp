#include <gtest/gtest.h>

#include <string>

#include "episode_file.h"
#include "episode_files.h"
#include "episode_record.h"
#include "temp_dir.h"

// A fresh episode saves the default header; a shorter name keeps the old tail after its zero.
TEST(EpisodeRecord, FreshHeaderBytesAndNameTail) {
    Bytes expected = {0xcc, 0, 0, 0, 0x07, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0};
    const std::string name = "#Kelto@Episode", level = "CASTLE1.VLV";
    expected.insert(expected.end(), name.begin(), name.end());
    expected.resize(16 + 128, 0);
    expected.insert(expected.end(), level.begin(), level.end());
    expected.resize(144 + 32, 0);
    for (uint32_t field :
         {0x130u, 0x162u, 0x670098u, 0x770860u, 0xdcu, 0x4eu, 0x6bb0ccu, 0x706100u}) {
        AppendLength(expected, field);
    }
    EpisodeRecord episode;
    ResetEpisode(episode);
    SetEpisodeName(episode, "#Kelto@Episode");
    SetStartLevel(episode, "CASTLE1.VLV");
    TempDir dir;
    ASSERT_TRUE(WriteEpisodeFile(episode, dir.File("fresh.vde").c_str()));
    Bytes written = ReadFileBytes(dir.File("fresh.vde"));
    ASSERT_EQ(written.size(), 208u + 12u);  // three empty blobs
    EXPECT_EQ(Bytes(written.begin(), written.begin() + 208), expected);

    ResetEpisode(episode);
    SetEpisodeName(episode, "Abcdefghij");
    SetEpisodeName(episode, "XYZ");
    ASSERT_TRUE(WriteEpisodeFile(episode, dir.File("tail.vde").c_str()));
    written = ReadFileBytes(dir.File("tail.vde"));
    ASSERT_GE(written.size(), 144u);
    const char tail[kNameSize] = "XYZ\0efghij";
    EXPECT_EQ(Bytes(written.begin() + 16, written.begin() + 144), Bytes(tail, tail + kNameSize));
}

// The setters keep a text and its zero byte inside the field, cutting what does not fit.
TEST(EpisodeRecord, SettersStayInsideTheirFields) {
    EpisodeRecord episode;
    ResetEpisode(episode);
    for (size_t length : {127, 128, 200}) {
        SetEpisodeName(episode, std::string(length, 'n').c_str());
        EXPECT_EQ(std::string(episode.header.name), std::string(127, 'n'));
    }
    for (size_t length : {31, 32, 40}) {
        SetStartLevel(episode, std::string(length, 's').c_str());
        EXPECT_EQ(std::string(episode.header.startLevel), std::string(31, 's'));
    }
    EXPECT_EQ(episode.header.imageWidth, 304u);

    ResetEpisode(episode);
    EXPECT_EQ(Bytes(episode.header.name, episode.header.name + kNameSize), Bytes(kNameSize, 0));
}
