// Large blocks in 2 MiB pages.
//
// Memory is first written a page at a time, and each first write of a page is
// a page fault. A 4096x4096 picture takes 12,288 faults in 4 KiB pages; on the
// virtual machines pictures are often converted on, a fault costs several
// microseconds, more than matching the pixels in the page. In transparent huge
// pages it takes 24. Linux's usual setting ("madvise") gives huge pages only
// to memory marked for them, so these functions mark it.
#pragma once

#include <cstddef>

// `bytes` of memory on a 2 MiB boundary, zero-filled, marked for huge pages
// where the system has them. Null when it cannot be had.
void* AllocateHuge(size_t bytes);

// Gives back memory from AllocateHuge(bytes), `bytes` the same. Null: nothing.
void FreeHuge(void* memory, size_t bytes);

// A deleter of memory from AllocateHuge, for std::unique_ptr.
struct HugeDeleter {
    size_t bytes;
    void operator()(void* memory) const { FreeHuge(memory, bytes); }
};

// Makes the blocks that malloc hands out from now on, up to about `bytes` of
// them at a time, come from memory marked for huge pages: for the surfaces
// SDL allocates itself, which no caller can mark. Blocks of every size then
// come from the heap (glibc gives each large block a mapping of its own
// otherwise, where no mark made beforehand can reach), and the heap no longer
// shrinks when blocks are freed, so that the marked room stays for the next
// picture. Only address space is taken; nothing is touched. True when blocks
// are so served, by this call or an earlier one. False, with malloc left as
// it was, when the C library is not glibc, in a sanitizer build (its
// allocator is its own), or when the room cannot be had or marked.
bool ServeBlocksFromHugePages(size_t bytes);
