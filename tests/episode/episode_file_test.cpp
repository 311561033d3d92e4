#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "episode_file.h"
#include "episode_files.h"
#include "episode_record.h"
#include "picture_packing.h"
#include "temp_dir.h"

namespace {

Bytes BlobBytes(const Blob& blob) {
    return blob.data ? Bytes(blob.data, blob.data + blob.length) : Bytes{};
}

Bytes HeaderBytes(const EpisodeRecord& episode) {
    Bytes bytes(kEpisodeHeaderBytes);
    EncodeEpisodeHeader(episode.header, bytes.data());
    return bytes;
}

// WriteFileBytes hands fwrite a null pointer for an empty file.
bool WritePrefix(const std::string& path, const Bytes& bytes, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = size == 0 || std::fwrite(bytes.data(), 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

// A complete file read and written back is byte-exact for any headerSize, less any trailer.
TEST(EpisodeFile, RoundTripIsByteExact) {
    TempDir dir;
    const SmallEpisode small;
    for (uint32_t headerSize : {204u, 0u, 0xFFFFFFFFu, 1000u}) {
        SCOPED_TRACE(headerSize);
        const Bytes file = small.File(headerSize);
        Bytes withTrailer = file;
        withTrailer.insert(withTrailer.end(), {0xde, 0xad, 0xbe, 0xef});
        ASSERT_TRUE(WriteFileBytes(dir.File("in.vde"), withTrailer));
        EpisodeRecord episode;
        EpisodeReadReport report;
        ASSERT_TRUE(ReadEpisodeFile(episode, dir.File("in.vde").c_str(), &report));
        EXPECT_TRUE(report.complete);
        EXPECT_EQ(static_cast<uint32_t>(episode.header.headerSize), headerSize);
        EXPECT_EQ(episode.header.titleExtraA, INT32_MIN);
        EXPECT_TRUE(UnpackPictures(episode));
        ASSERT_TRUE(WriteEpisodeFile(episode, dir.File("out.vde").c_str()));
        EXPECT_EQ(ReadFileBytes(dir.File("out.vde")), file);
        FreeEpisodeBuffers(episode);
    }
}

// A missing or cut file yields only the whole parts it holds, and the pictures then fail.
TEST(EpisodeFile, MissingOrCutFile) {
    TempDir dir;
    EpisodeRecord episode;
    ResetEpisode(episode);
    SetEpisodeName(episode, "Before the read");
    episode.titleBlob.length = 77;
    const Bytes before = HeaderBytes(episode);
    EXPECT_FALSE(ReadEpisodeFile(episode, dir.File("absent.vde").c_str()));
    EXPECT_EQ(HeaderBytes(episode), before);
    EXPECT_EQ(episode.titleBlob.length, 77u);

    const SmallEpisode small;
    const Bytes file = small.File();
    const size_t blobEnds[] = {212 + small.blobs[0].size(),
                               216 + small.blobs[0].size() + small.blobs[1].size(), file.size()};
    for (size_t cut = 0; cut <= file.size(); ++cut) {
        SCOPED_TRACE(cut);
        ASSERT_TRUE(WritePrefix(dir.File("cut.vde"), file, cut));
        EpisodeRecord read = episode;
        EpisodeReadReport report;
        ASSERT_TRUE(ReadEpisodeFile(read, dir.File("cut.vde").c_str(), &report));
        EXPECT_EQ(report.complete, cut == file.size());
        EXPECT_EQ(HeaderBytes(read), cut < 208 ? before : Bytes(file.begin(), file.begin() + 208));
        const Blob* blobs[] = {&read.imageBlob, &read.titleBlob, &read.lowTitleBlob};
        for (int slot = 0; slot < 3; ++slot) {
            const bool whole = cut >= blobEnds[slot];
            EXPECT_EQ(BlobBytes(*blobs[slot]), whole ? small.blobs[slot] : Bytes{}) << slot;
            EXPECT_EQ(blobs[slot]->length, whole ? small.blobs[slot].size() : 0u) << slot;
        }
        EXPECT_EQ(UnpackPictures(read), cut == file.size());
        FreeEpisodeBuffers(read);
    }
}

// A blob length beyond the file's end empties that blob and the later ones, and is reported.
TEST(EpisodeFile, BlobLengthPastTheEnd) {
    TempDir dir;
    const SmallEpisode small;
    const char* names[] = {"Image", "Title", "LowTitle"};
    for (int slot = 0; slot < 3; ++slot) {
        for (uint32_t length : {0xFFFFFFFFu, 121u}) {
            SCOPED_TRACE(std::to_string(slot) + " " + std::to_string(length));
            Bytes file = HandMadeHeader(16, 12, 8, 4);
            for (int before = 0; before < slot; ++before) AppendBlob(file, small.blobs[before]);
            AppendLength(file, length);
            file.resize(file.size() + 120, 0x78);
            ASSERT_TRUE(WriteFileBytes(dir.File("long.vde"), file));
            EpisodeRecord episode;
            EpisodeReadReport report;
            ASSERT_TRUE(ReadEpisodeFile(episode, dir.File("long.vde").c_str(), &report));
            EXPECT_EQ(std::string(report.problem.reason),
                      std::string(names[slot]) + " blob length " + std::to_string(length) +
                          " runs past the end of the file (120 bytes left)");
            const Blob* blobs[] = {&episode.imageBlob, &episode.titleBlob, &episode.lowTitleBlob};
            for (int other = 0; other < 3; ++other) {
                EXPECT_EQ(BlobBytes(*blobs[other]), other < slot ? small.blobs[other] : Bytes{});
                EXPECT_EQ(blobs[other]->length, other < slot ? small.blobs[other].size() : 0u);
            }
            FreeEpisodeBuffers(episode);
        }
    }
}

// A save that fails at any step leaves the old file exactly as it was and no temporary file.
TEST(EpisodeFile, FailedWriteKeepsOldFile) {
    TempDir dir;
    EpisodeRecord episode;
    ASSERT_TRUE(WriteFileBytes(dir.File("small.vde"), SmallEpisode().File()));
    ASSERT_TRUE(ReadEpisodeFile(episode, dir.File("small.vde").c_str()));
    const Bytes old = {'o', 'l', 'd'};
    const std::string target = dir.File("old.vde");
    ASSERT_TRUE(WriteFileBytes(target, old));

    EXPECT_FALSE(WriteEpisodeFile(episode, dir.File("no/such/dir/x.vde").c_str()));
    ASSERT_EQ(mkdir(dir.File("adir").c_str(), 0755), 0);
    EXPECT_FALSE(WriteEpisodeFile(episode, dir.File("adir").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("adir")));

    // Permission bits do not stop root; a file size limit stops anyone.
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit tight = {100, limit.rlim_max};
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    EXPECT_FALSE(WriteEpisodeFile(episode, target.c_str()));
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);

    uint8_t* data = episode.titleBlob.data;
    episode.titleBlob.data = nullptr;
    EXPECT_FALSE(WriteEpisodeFile(episode, target.c_str()));
    episode.titleBlob.data = data;
    FreeEpisodeBuffers(episode);

    EXPECT_EQ(ReadFileBytes(target), old);
    size_t entries = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.path())) entries += entry.exists();
    EXPECT_EQ(entries, 3u) << "small.vde, old.vde, adir and nothing else";
}
