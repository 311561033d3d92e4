#include "input_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

// Reads `in` to its end into `bytes`; false on a read error or past `most`.
bool ReadToEnd(FILE* in, uint64_t most, std::vector<uint8_t>& bytes, Problem* problem) {
    uint8_t chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, in)) > 0;) {
        if (bytes.size() + got > most) {
            SetProblem(problem, "the file is too large (more than %llu bytes)",
                       static_cast<unsigned long long>(most));
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (!std::ferror(in)) return true;
    SetProblem(problem, "cannot read: %s", std::strerror(errno));
    return false;
}

}  // namespace

bool OpenInput(const char* path, uint64_t most, InputFile& input, Problem* problem) {
    FILE* in = std::fopen(path, "rb");
    struct stat info;
    if (!in || fstat(fileno(in), &info) != 0) {
        SetProblem(problem, "cannot open: %s", std::strerror(errno));
        if (in) std::fclose(in);
        return false;
    }
    if (S_ISREG(info.st_mode)) {
        input.file = in;
        input.size = static_cast<uint64_t>(info.st_size);
        return true;
    }
    if (S_ISDIR(info.st_mode)) {
        std::fclose(in);
        SetProblem(problem, "cannot open: %s", std::strerror(EISDIR));
        return false;
    }
    const bool read = ReadToEnd(in, most, input.bytes, problem);
    std::fclose(in);
    if (!read) return false;
    input.size = input.bytes.size();
    // fmemopen refuses an empty buffer: an empty stream reads as /dev/null.
    input.file = input.bytes.empty() ? std::fopen("/dev/null", "rb")
                                     : fmemopen(input.bytes.data(), input.bytes.size(), "rb");
    if (input.file) return true;
    SetProblem(problem, "cannot read: %s", std::strerror(errno));
    return false;
}
