// Large blocks in memory marked for huge pages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "huge_pages.h"

namespace {

constexpr size_t kMiB = size_t{1} << 20;

// The VmFlags of the mapping that holds `address`, as /proc/self/smaps gives
// them; empty when no mapping holds it.
std::string FlagsOfMapping(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        uintptr_t from = 0, to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-') {
            inside = from <= at && at < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line;
        }
    }
    return "";
}

bool Marked(const void* address) {
    return FlagsOfMapping(address).find(" hg") != std::string::npos;
}

// True when every whole 2 MiB page of the block is marked: its first and its
// last, within one marked mapping.
bool WholePagesMarked(const void* block, size_t bytes) {
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + 2 * kMiB - 1) & ~(2 * kMiB - 1);
    const uintptr_t end = (start + bytes) & ~(2 * kMiB - 1);
    const auto* firstPage = reinterpret_cast<const void*>(first);
    const auto* lastByte = reinterpret_cast<const void*>(end - 1);
    return end > first && Marked(firstPage) &&
           FlagsOfMapping(firstPage) == FlagsOfMapping(lastByte);
}

// The sizes asked for are rounded up to whole 2 MiB pages, zero-filled, on a
// 2 MiB boundary, marked, and gone once freed.
TEST(HugePages, AllocateHugeGivesWholeMarkedPagesAndTakesThemBack) {
    for (const size_t bytes : {size_t{1}, 2 * kMiB, 2 * kMiB + 1, 16 * kMiB}) {
        SCOPED_TRACE(bytes);
        auto* memory = static_cast<uint8_t*>(AllocateHuge(bytes));
        ASSERT_NE(memory, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % (2 * kMiB), 0u);
        const size_t whole = (bytes + 2 * kMiB - 1) / (2 * kMiB) * (2 * kMiB);
        EXPECT_EQ(memory[0], 0);
        EXPECT_EQ(memory[whole - 1], 0);
        std::memset(memory, 0xA5, whole);
        EXPECT_TRUE(Marked(memory) && Marked(memory + whole - 1)) << FlagsOfMapping(memory);
        FreeHuge(memory, bytes);
        EXPECT_EQ(FlagsOfMapping(memory), "");
        EXPECT_EQ(FlagsOfMapping(memory + whole - 1), "");
    }
    EXPECT_EQ(AllocateHuge(0), nullptr);
    EXPECT_EQ(AllocateHuge(SIZE_MAX - kMiB), nullptr);
}

// After the call, the blocks malloc gives, large ones too, lie in marked
// memory (all but a part of a page before the first 2 MiB boundary), and
// freeing them leaves the marks for the next.
TEST(HugePages, ServedBlocksLieInMarkedMemory) {
    if (!ServeBlocksFromHugePages(96 * kMiB)) {
        GTEST_SKIP() << "malloc is not glibc's own here (a sanitizer build)";
    }
    EXPECT_TRUE(ServeBlocksFromHugePages(96 * kMiB));
    for (int round = 0; round < 2; ++round) {
        void* picture = std::malloc(48 * kMiB);
        void* match = std::malloc(16 * kMiB);
        ASSERT_TRUE(picture && match);
        EXPECT_TRUE(WholePagesMarked(picture, 48 * kMiB)) << FlagsOfMapping(picture);
        EXPECT_TRUE(WholePagesMarked(match, 16 * kMiB)) << FlagsOfMapping(match);
        std::free(picture);
        std::free(match);
    }
}

}  // namespace
