#include "safe_write.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

mode_t CurrentUmask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

struct ByteBlock {
    const uint8_t* data;
    size_t size;
};

bool WriteBlock(FILE* out, const void* context) {
    const auto* block = static_cast<const ByteBlock*>(context);
    return block->size == 0 || std::fwrite(block->data, 1, block->size, out) == block->size;
}

}  // namespace

bool ReplaceFile(const char* path, bool (*write)(FILE* out, const void* context),
                 const void* context) {
    // The temporary file must be in the target's directory: rename() only
    // replaces atomically within one file system.
    std::string temp = std::string(path) + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    // mkstemp makes the file private (0600); give it the mode a plain fopen
    // would have, or the mode of the file it replaces.
    struct stat existing;
    const mode_t mode =
        stat(path, &existing) == 0 ? (existing.st_mode & 07777) : (0666 & ~CurrentUmask());
    bool ok = fchmod(fd, mode) == 0;
    FILE* out = fdopen(fd, "wb");
    if (!out) {
        close(fd);
        unlink(temp.c_str());
        return false;
    }
    ok = ok && write(out, context);
    ok = ok && std::fflush(out) == 0 && fsync(fileno(out)) == 0;
    ok = (std::fclose(out) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), path) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

bool ReplaceFileWithBytes(const char* path, const uint8_t* data, size_t size) {
    const ByteBlock block{data, size};
    return ReplaceFile(path, &WriteBlock, &block);
}
