// What the fuzz targets share. The libraries read files by path, so each
// input goes to a file of this process under $TMPDIR, which
// scripts/run-fuzzers.sh points at a scratch directory in memory.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

// A promise broken is a finding, as a crash is.
#define REQUIRE(condition) ((condition) ? void() : std::abort())

// The path of this process's scratch file `name`, now holding `size` bytes
// of `data`.
inline std::string ScratchFile(const std::string& name, const void* data, size_t size) {
    const std::string path =
        std::string(std::getenv("TMPDIR") ?: "/tmp") + "/" + std::to_string(getpid()) + name;
    std::ofstream(path, std::ios::binary)
        .write(static_cast<const char*>(data), std::streamsize(size));
    return path;
}
