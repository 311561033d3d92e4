#include "temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

TempDir::TempDir() {
    char pattern[] = "/tmp/vde-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "";
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    // Make every directory writable again first, in case a test took the
    // write bit away.
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        if (entry.is_directory(ignored)) chmod(entry.path().c_str(), 0700);
    }
    chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<unsigned char> ReadFileBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

ScopedChdir::ScopedChdir(const std::string& dir) {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer)) old_ = buffer;
    if (chdir(dir.c_str()) != 0) std::perror("chdir");
}

ScopedChdir::~ScopedChdir() {
    if (!old_.empty() && chdir(old_.c_str()) != 0) std::perror("chdir");
}
