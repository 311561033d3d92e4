#include "huge_pages.h"

#include <sys/mman.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VDE_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || \
    __has_feature(thread_sanitizer)
#define VDE_OWN_ALLOCATOR 1
#endif
#endif

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

// How far `at` lies below the next 2 MiB boundary; 0 on a boundary.
size_t ToBoundary(const void* at) {
    return (kHugePage - reinterpret_cast<uintptr_t>(at) % kHugePage) % kHugePage;
}

// Marks the whole huge pages inside [start, start + bytes).
bool MarkForHugePages(void* start, size_t bytes) {
#ifdef MADV_HUGEPAGE
    const size_t head = ToBoundary(start);
    const size_t length = bytes > head ? (bytes - head) / kHugePage * kHugePage : 0;
    return length > 0 && madvise(static_cast<char*>(start) + head, length, MADV_HUGEPAGE) == 0;
#else
    (void)start;
    (void)bytes;
    return false;
#endif
}

size_t WholePages(size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* AllocateHuge(size_t bytes) {
    if (bytes == 0 || bytes > SIZE_MAX / 2 - kHugePage) return nullptr;
    const size_t whole = WholePages(bytes);
    // A mapping of its own, a huge page longer than asked, trimmed to a 2 MiB
    // boundary: outside malloc's heap, so that it leaves no gaps there and
    // goes back to the system whole when freed.
    constexpr int kReadWrite = PROT_READ | PROT_WRITE, kPrivateMemory = MAP_PRIVATE | MAP_ANONYMOUS;
    // cppcheck-suppress invalidFunctionArg ; memory of no file: -1 is the file
    void* mapped = mmap(nullptr, whole + kHugePage, kReadWrite, kPrivateMemory, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    char* const start = static_cast<char*>(mapped);
    const size_t before = ToBoundary(start);
    char* const aligned = start + before;
    if (before > 0) munmap(start, before);
    munmap(aligned + whole, kHugePage - before);  // before < kHugePage: there is a tail
    MarkForHugePages(aligned, whole);
    return aligned;
}

void FreeHuge(void* memory, size_t bytes) {
    if (memory) munmap(memory, WholePages(bytes));
}

bool ServeBlocksFromHugePages(size_t bytes) {
#if defined(__GLIBC__) && defined(M_MMAP_MAX) && !defined(VDE_OWN_ALLOCATOR)
    static bool served = false;
    if (served) return true;
    if (bytes == 0 || bytes > INT_MAX) return false;
    mallopt(M_MMAP_MAX, 0);              // every block from the heap
    mallopt(M_TRIM_THRESHOLD, INT_MAX);  // and the heap's top kept when freed
    // The room is taken at the heap's top and given back to it at once; the
    // blocks that follow are cut from the top's low end, inside the marks.
    void* room = std::malloc(bytes + kHugePage);
    const bool marked = room && MarkForHugePages(room, bytes + kHugePage);
    std::free(room);
    if (!marked) {
        // glibc's own defaults.
        constexpr int kDefaultMmapMax = 65536, kDefaultTrimThreshold = 128 * 1024;
        mallopt(M_MMAP_MAX, kDefaultMmapMax);
        mallopt(M_TRIM_THRESHOLD, kDefaultTrimThreshold);
        return false;
    }
    served = true;
    return true;
#else
    (void)bytes;
    return false;
#endif
}
