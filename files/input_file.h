// Opening a file to read, whatever it is: a regular file, a pipe, a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "problem.h"

// A file open for reading from its start, and its size in bytes. Closed when
// it goes.
struct InputFile {
    FILE* file = nullptr;
    uint64_t size = 0;
    std::vector<uint8_t> bytes;  // the content of a stream read ahead

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (file) std::fclose(file);
    }
};

// Opens `path`. A regular file is read where it lies, its size from the file
// system; anything else (a pipe, a process substitution, a terminal) is read
// to its end first, at most `most` bytes, and given as a stream over those
// bytes. False, with the reason, when it cannot be opened or read, is a
// directory, or is a stream of more than `most` bytes.
bool OpenInput(const char* path, uint64_t most, InputFile& input, Problem* problem);
