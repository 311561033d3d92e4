// Replacing files whole, wherever a path leads, and reading any file or pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <string>

#include "input_file.h"
#include "safe_write.h"
#include "test_support.h"

namespace {

bool WriteText(FILE* out, const void* text) {
    return std::fputs(static_cast<const char*>(text), out) >= 0;
}

std::string Text(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Only what the test made: no temporary file left beside a target.
long Entries(const std::string& directory) {
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

// A save lands where the path leads: through a link (a dangling one makes
// its target), keeping the link, the mode and the file's other name; a
// failure or a directory leaves everything as it was.
TEST(ReplaceFile, LandsWhereThePathLeads) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("target"), {'o', 'l', 'd'}));
    ASSERT_EQ(chmod(dir.File("target").c_str(), 0640), 0);
    ASSERT_EQ(symlink("target", dir.File("link").c_str()), 0);
    ASSERT_EQ(symlink("made", dir.File("dangling").c_str()), 0);
    ASSERT_EQ(link(dir.File("target").c_str(), dir.File("second").c_str()), 0);

    Problem failed, directory;
    EXPECT_FALSE(ReplaceFile(
        dir.File("link").c_str(), [](FILE*, const void*) { return false; }, nullptr, &failed));
    EXPECT_STRNE(failed.reason, "");
    EXPECT_EQ(Text(dir.File("target")), "old");
    EXPECT_EQ(Entries(dir.path()), 4);
    EXPECT_FALSE(ReplaceFile(dir.path().c_str(), &WriteText, "x", &directory));
    EXPECT_NE(std::string(directory.reason).find("directory"), std::string::npos);

    ASSERT_TRUE(ReplaceFile(dir.File("link").c_str(), &WriteText, "new"));
    ASSERT_TRUE(ReplaceFile(dir.File("dangling").c_str(), &WriteText, "made"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link")));
    EXPECT_EQ(std::filesystem::status(dir.File("target")).permissions(),
              std::filesystem::perms(0640));
    EXPECT_EQ(Text(dir.File("target")), "new");
    EXPECT_EQ(Text(dir.File("second")), "old");  // the other hard link keeps the old file
    EXPECT_EQ(Text(dir.File("made")), "made");
    EXPECT_EQ(Entries(dir.path()), 5);
}

// A pipe, a process's standard output or a named FIFO is written as a
// stream; the pipe stays a pipe, never a file put in the FIFO's place.
TEST(ReplaceFile, PipesAreWrittenAsStreams) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_TRUE(ReplaceFile(("/dev/fd/" + std::to_string(ends[1])).c_str(), &WriteText, "piped"));
    close(ends[1]);
    InputFile input;
    ASSERT_TRUE(OpenInput(("/dev/fd/" + std::to_string(ends[0])).c_str(), 100, input, nullptr));
    EXPECT_EQ(std::string(input.bytes.begin(), input.bytes.end()), "piped");
    EXPECT_EQ(input.size, 5u);
    close(ends[0]);
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.File("f").c_str(), 0600), 0);
    const int reader = open(dir.File("f").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_TRUE(ReplaceFile(dir.File("f").c_str(), &WriteText, "fifo"));
    char got[8];
    EXPECT_TRUE(read(reader, got, sizeof got) == 4 && std::filesystem::is_fifo(dir.File("f")));
    close(reader);
}

// Several files are replaced together: one that fails keeps all the others'
// old content too. A name of 255 bytes still gets a temporary file of its own, hidden.
TEST(ReplaceFile, AllOrNone) {
    TempDir dir;
    FileReplacement files[2];
    const std::string names[] = {"a", std::string(NAME_MAX, 'n')};
    for (const int i : {0, 1}) {
        const std::string path = dir.File(names[i]);
        ASSERT_TRUE(WriteFileBytes(path, {'1'}) && BeginReplace(files[i], path.c_str(), nullptr));
    }
    const std::string temporary = files[1].temporary.substr(files[1].temporary.rfind('/') + 1);
    EXPECT_TRUE(temporary[0] == '.' && temporary.size() <= size_t{NAME_MAX}) << temporary;
    ASSERT_TRUE(WriteText(files[0].out, "2"));
    std::fclose(files[1].out);  // the second cannot be finished
    files[1].out = std::fopen("/dev/full", "wb");
    ASSERT_TRUE(WriteText(files[1].out, "2"));
    EXPECT_FALSE(CommitReplace(files, 2, nullptr));
    EXPECT_EQ(Text(dir.File("a")) + Text(dir.File(names[1])), "11");
    EXPECT_EQ(Entries(dir.path()), 2);
}

// A replacement the process cannot finish leaves the old file whole and no
// temporary file: an interrupt ends the process as the signal would; a write
// past the file size limit, or over a file its owner made read-only, fails
// and the process goes on. Root may write anything: that child runs as nobody.
TEST(ReplaceFile, UnfinishedLeavesTheOldFile) {
    const std::string big(65536, 'x');
    for (const int unfinished : {SIGTERM, SIGXFSZ, 0}) {
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir.File("out"), {'1'}));
        ASSERT_EQ(chmod(dir.path().c_str(), 0777) |
                      chmod(dir.File("out").c_str(), unfinished ? 0644 : 0444),
                  0);
        const pid_t child = fork();
        if (child == 0) {
            const rlimit limit = {4096, 4096};
            FileReplacement file;
            if (!RemoveTemporaryFilesOnSignals() ||
                (unfinished == SIGXFSZ && setrlimit(RLIMIT_FSIZE, &limit) != 0) ||
                (unfinished == 0 && geteuid() == 0 && setuid(65534) != 0) ||
                (unfinished == SIGTERM && !BeginReplace(file, dir.File("out").c_str(), nullptr))) {
                _exit(2);
            }
            if (unfinished == SIGTERM) raise(SIGTERM);
            const char* text = unfinished == SIGXFSZ ? big.c_str() : "2";
            Problem problem;  // and the reason is given
            _exit(ReplaceFile(dir.File("out").c_str(), &WriteText, text, &problem) ||
                  !problem.reason[0]);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(unfinished == SIGTERM ? WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM
                                          : WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << unfinished << ": " << status;
        EXPECT_EQ(Text(dir.File("out")), "1") << unfinished;
        EXPECT_EQ(Entries(dir.path()), 1) << unfinished;
    }
}

// A stream longer than allowed, and a directory, are refused with a reason.
TEST(OpenInput, RefusesWhatCannotBeRead) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], "123456", 6), 6);
    close(ends[1]);
    InputFile input;
    Problem problem;
    EXPECT_FALSE(OpenInput(("/dev/fd/" + std::to_string(ends[0])).c_str(), 5, input, &problem));
    EXPECT_NE(std::string(problem.reason).find("too large"), std::string::npos) << problem.reason;
    close(ends[0]);
    InputFile directory;
    EXPECT_FALSE(OpenInput("/", 5, directory, nullptr));
}

}  // namespace
