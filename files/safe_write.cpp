#include "safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMostLinks = 40;  // as the kernel's own limit on link chains
constexpr size_t kMostNameBytes = 255;
const char kTemporarySuffix[] = ".XXXXXX";

// Temporary files in progress, for the signal handler: a fixed table, so
// that the handler reads nothing that another thread of control could be
// reallocating.
constexpr int kSlots = 8;
char pendingPaths[kSlots][PATH_MAX];
volatile sig_atomic_t pendingUsed[kSlots];

// Only async-signal-safe calls: unlink, sigaction, raise.
bool Handle(int signal, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    return sigaction(signal, &action, nullptr) == 0;
}

void OnSignal(int signal) {
    for (int i = 0; i < kSlots; ++i) {
        if (pendingUsed[i]) unlink(pendingPaths[i]);
    }
    // The default action ends the process as the signal would have.
    if (Handle(signal, SIG_DFL)) std::raise(signal);
}

// Signals are held back while a temporary file is made and recorded, so
// that none can come between the two.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
        sigprocmask(SIG_BLOCK, &held, &before_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }

  private:
    sigset_t before_;
};

void Record(const std::string& path) {
    for (int i = 0; i < kSlots; ++i) {
        if (pendingUsed[i] || path.size() >= PATH_MAX) continue;
        std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
        pendingUsed[i] = 1;
        return;
    }
}

void Forget(const std::string& path) {
    for (int i = 0; i < kSlots; ++i) {
        if (pendingUsed[i] && path == pendingPaths[i]) pendingUsed[i] = 0;
    }
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The descriptor a path names when it is one of this process's own open
// files (/dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N), else -1.
int OwnDescriptor(const std::string& path) {
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t length = std::strlen(prefix);
        if (path.compare(0, length, prefix) != 0 || path.size() == length) continue;
        char* end = nullptr;
        const long fd = std::strtol(path.c_str() + length, &end, 10);
        if (*end == '\0' && fd >= 0 && fd <= INT_MAX) return static_cast<int>(fd);
    }
    return -1;
}

// Follows symbolic links from `path` to the file a write lands in (which may
// not exist yet). `fd` receives an own descriptor met on the way, or -1.
bool FollowLinks(const char* path, std::string& target, int& fd, Problem* problem) {
    target = path;
    for (int depth = 0; depth < kMostLinks; ++depth) {
        fd = OwnDescriptor(target);
        if (fd >= 0) return true;
        char link[PATH_MAX];
        const ssize_t length = readlink(target.c_str(), link, sizeof link - 1);
        if (length < 0) return true;  // not a link, or nothing there yet
        link[length] = '\0';
        target = link[0] == '/' ? std::string(link) : DirectoryOf(target) + "/" + link;
    }
    SetProblem(problem, "cannot write: %s", std::strerror(ELOOP));
    return false;
}

bool OpenStream(FileReplacement& file, int fd, Problem* problem) {
    const int own = fd >= 0 ? dup(fd) : open(file.target.c_str(), O_WRONLY | O_CLOEXEC);
    file.out = own >= 0 ? fdopen(own, "wb") : nullptr;
    if (file.out) return true;
    SetProblem(problem, "cannot write: %s", std::strerror(errno));
    if (own >= 0) close(own);
    return false;
}

// Gives the temporary file the mode a plain fopen would give a new file, or
// the mode, owner and group of the file it replaces.
bool TakeOverAttributes(int fd, const struct stat* existing) {
    if (!existing) {
        const mode_t mask = umask(0);
        umask(mask);
        return fchmod(fd, 0666 & ~mask) == 0;
    }
    // Not every process may give a file away: then the group alone, or
    // neither, as for a new file of its own.
    if (fchown(fd, existing->st_uid, existing->st_gid) != 0 &&
        fchown(fd, static_cast<uid_t>(-1), existing->st_gid) != 0) {
        errno = 0;
    }
    return fchmod(fd, existing->st_mode & 07777) == 0;
}

bool OpenTemporary(FileReplacement& file, const struct stat* existing, Problem* problem) {
    const std::string directory = DirectoryOf(file.target);
    std::string name = file.target.substr(file.target.rfind('/') + 1);
    // Hidden, and short enough that a name of 255 bytes can still be saved.
    const size_t room = kMostNameBytes - 1 - (sizeof kTemporarySuffix - 1);
    if (name.size() > room) name.resize(room);
    file.temporary = directory + "/." + name + kTemporarySuffix;
    SignalsHeld held;
    const int fd = mkstemp(file.temporary.data());
    if (fd < 0) {
        SetProblem(problem, "cannot write: %s", std::strerror(errno));
        file.temporary.clear();
        return false;
    }
    Record(file.temporary);
    file.out = fdopen(fd, "wb");
    if (!file.out || !TakeOverAttributes(fd, existing)) {
        SetProblem(problem, "cannot write: %s", std::strerror(errno));
        if (!file.out) close(fd);
        AbandonReplace(file);
        return false;
    }
    return true;
}

// Flushes, syncs (files only: a pipe cannot be synced) and closes.
bool Finish(FileReplacement& file, Problem* problem) {
    errno = 0;
    // ferror too: a write that failed earlier may have left nothing for the
    // flush to fail on.
    bool ok = std::fflush(file.out) == 0 && !std::ferror(file.out) &&
              (file.temporary.empty() || fsync(fileno(file.out)) == 0);
    int error = errno;
    if (std::fclose(file.out) != 0) {
        ok = false;
        if (error == 0) error = errno;
    }
    file.out = nullptr;
    if (!ok) SetProblem(problem, "cannot write: %s", error ? std::strerror(error) : "write failed");
    return ok;
}

}  // namespace

bool BeginReplace(FileReplacement& file, const char* path, Problem* problem) {
    file = FileReplacement{};
    int fd = -1;
    if (!FollowLinks(path, file.target, fd, problem)) return false;
    struct stat existing;
    const bool exists = stat(file.target.c_str(), &existing) == 0;
    if (fd >= 0 || (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode))) {
        return OpenStream(file, fd, problem);
    }
    if (exists && S_ISDIR(existing.st_mode)) {
        SetProblem(problem, "cannot write: %s", std::strerror(EISDIR));
        return false;
    }
    // A rename needs only the directory's permission: a file its owner made
    // read-only is refused as opening it to write would be.
    if (exists && access(file.target.c_str(), W_OK) != 0) {
        SetProblem(problem, "cannot write: %s", std::strerror(errno));
        return false;
    }
    return OpenTemporary(file, exists ? &existing : nullptr, problem);
}

bool CommitReplace(FileReplacement* files, int count, Problem* problem) {
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        if (files[i].out) ok = Finish(files[i], problem) && ok;
    }
    for (int i = 0; i < count && ok; ++i) {
        if (files[i].temporary.empty()) continue;
        if (std::rename(files[i].temporary.c_str(), files[i].target.c_str()) != 0) {
            SetProblem(problem, "cannot write: %s", std::strerror(errno));
            ok = false;
            break;
        }
        Forget(files[i].temporary);
        files[i].temporary.clear();
    }
    if (!ok) {
        for (int i = 0; i < count; ++i) AbandonReplace(files[i]);
    }
    return ok;
}

void AbandonReplace(FileReplacement& file) {
    if (file.out) std::fclose(file.out);
    file.out = nullptr;
    if (file.temporary.empty()) return;
    unlink(file.temporary.c_str());
    Forget(file.temporary);
    file.temporary.clear();
}

bool ReplaceFile(const char* path, bool (*write)(FILE* out, const void* context),
                 const void* context, Problem* problem) {
    FileReplacement file;
    if (!BeginReplace(file, path, problem)) return false;
    if (!write(file.out, context)) {
        SetProblem(problem, "cannot write: %s", errno ? std::strerror(errno) : "write failed");
        AbandonReplace(file);
        return false;
    }
    return CommitReplace(&file, 1, problem);
}

bool RemoveTemporaryFilesOnSignals() {
    bool set = true;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) set = Handle(s, &OnSignal) && set;
    return FailWritesPastTheSizeLimit() && set;
}

bool FailWritesPastTheSizeLimit() {
    return Handle(SIGXFSZ, SIG_IGN);
}
