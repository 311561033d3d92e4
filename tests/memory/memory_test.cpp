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

// The mapping that holds an address, as /proc/self/smaps gives it.
struct Mapping {
    uintptr_t from = 0, to = 0;
    std::string flags;  // its VmFlags line; empty when no mapping holds the address
};

Mapping MappingOf(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<uintptr_t>(address);
    Mapping found;
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        uintptr_t from = 0, to = 0;
        char dash = 0;
        std::istringstream range(line);
        if (range >> std::hex >> from >> dash >> to && dash == '-') {
            inside = from <= at && at < to;
            if (inside) found = Mapping{from, to, ""};
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            found.flags = line;
            return found;
        }
    }
    return Mapping{};
}

// True when every whole 2 MiB page of the block lies in one marked mapping.
bool WholePagesMarked(const void* block, size_t bytes) {
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + 2 * kMiB - 1) & ~(2 * kMiB - 1);
    const uintptr_t end = (start + bytes) & ~(2 * kMiB - 1);
    const Mapping m = MappingOf(reinterpret_cast<const void*>(first));
    return end > first && m.flags.find(" hg") != std::string::npos && m.to >= end;
}

// The sizes asked for are rounded up to whole 2 MiB pages, zero-filled, on a
// 2 MiB boundary, in a marked mapping of exactly that size, gone once freed.
TEST(HugePages, AllocateHugeGivesWholeMarkedPagesAndTakesThemBack) {
    for (const size_t bytes : {size_t{1}, 2 * kMiB, 2 * kMiB + 1, 16 * kMiB}) {
        SCOPED_TRACE(bytes);
        auto* memory = static_cast<uint8_t*>(AllocateHuge(bytes));
        ASSERT_NE(memory, nullptr);
        const size_t whole = (bytes + 2 * kMiB - 1) / (2 * kMiB) * (2 * kMiB);
        const Mapping mapping = MappingOf(memory);
        EXPECT_EQ(mapping.from, reinterpret_cast<uintptr_t>(memory));
        EXPECT_EQ(mapping.to, reinterpret_cast<uintptr_t>(memory) + whole);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(memory) % (2 * kMiB), 0u);
        EXPECT_NE(mapping.flags.find(" hg"), std::string::npos) << mapping.flags;
        EXPECT_EQ(MappingOf(memory + whole).flags, "") << "what was mapped past it is still there";
        EXPECT_TRUE(memory[0] == 0 && memory[whole - 1] == 0);
        std::memset(memory, 0xA5, whole);
        FreeHuge(memory, bytes);
        EXPECT_EQ(MappingOf(memory).flags + MappingOf(memory + whole - 1).flags, "");
    }
    EXPECT_EQ(AllocateHuge(0), nullptr);
    EXPECT_EQ(AllocateHuge(SIZE_MAX - kMiB), nullptr);
}

// After the call, the blocks malloc gives, large ones too, lie in marked
// memory (all but a part of a page before the first 2 MiB boundary), up to
// the room asked for, and freeing them leaves the marks for the next.
TEST(HugePages, ServedBlocksLieInMarkedMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's allocator is its own";
#endif
    ASSERT_TRUE(ServeBlocksFromHugePages(64 * kMiB));
    EXPECT_TRUE(ServeBlocksFromHugePages(64 * kMiB));
    for (int round = 0; round < 2; ++round) {
        void* picture = std::malloc(48 * kMiB);
        void* match = std::malloc(16 * kMiB);
        ASSERT_TRUE(picture && match);
        EXPECT_TRUE(WholePagesMarked(picture, 48 * kMiB)) << MappingOf(picture).flags;
        EXPECT_TRUE(WholePagesMarked(match, 16 * kMiB)) << MappingOf(match).flags;
        std::free(picture);
        std::free(match);
    }
}

}  // namespace
