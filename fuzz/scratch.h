// What the fuzz targets share. The libraries read files by path, so each
// input is written to a file of this process under $TMPDIR, which
// scripts/run-fuzzers.sh points at a scratch directory in memory.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

// A broken promise is a finding, as a crash is.
inline void Require(bool holds) {
    if (!holds) std::abort();
}

// The path of this process's scratch file `name`, holding `size` bytes of `data`.
inline std::string ScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    static const char* const directory = std::getenv("TMPDIR");
    const std::string path =
        (directory ? directory : "/tmp") + ("/" + std::to_string(getpid())) + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}
