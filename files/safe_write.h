// Replacing a file without ever leaving it half-written.
//
// A file is written to a hidden temporary file beside it (".NAME.XXXXXX"),
// flushed, synced and closed, and only then renamed over it: a failure at any
// step leaves the old file exactly as it was. The path is taken as a user
// means it:
// - a symbolic link is followed (a dangling one too, which then creates the
//   file it names), so the file it names is replaced and the link stays;
// - a FIFO, a device, a socket, or standard output named as /dev/stdout or
//   /dev/fd/N, is written directly as a stream, with no temporary file;
// - a replaced file keeps its mode, and its owner and group where the process
//   may set them. A file with several hard links is replaced by a new one at
//   this path: the other links keep the old content.
#pragma once

#include <cstdio>
#include <string>

#include "problem.h"

struct FileReplacement {
    std::string target;     // the file written: the path with its links followed
    std::string temporary;  // the temporary file; empty when written directly
    FILE* out = nullptr;    // where the content goes, open for writing
};

// Opens `path` for replacing. False, with the reason and nothing left behind,
// when the temporary file (or the stream) cannot be opened, or when the file
// there may not be written (access W_OK), as a plain open would refuse it.
bool BeginReplace(FileReplacement& file, const char* path, Problem* problem);

// Finishes `count` replacements begun with BeginReplace: flushes, syncs and
// closes every one, and only when all are complete renames each temporary
// file over its target. On a failure before the renames, every temporary file
// is removed and every target left as it was; the result is false with the
// reason. (A rename itself failing after others succeeded is the one case the
// file system leaves half done.)
bool CommitReplace(FileReplacement* files, int count, Problem* problem);

// Closes and removes the temporary file of a replacement that will not be
// committed.
void AbandonReplace(FileReplacement& file);

// One replacement: BeginReplace, `write` with the open stream, CommitReplace;
// AbandonReplace when `write` returns false.
bool ReplaceFile(const char* path, bool (*write)(FILE* out, const void* context),
                 const void* context, Problem* problem = nullptr);

// From now on SIGINT, SIGTERM and SIGHUP first remove the temporary files of
// replacements in progress, then end the process as the signal would have;
// and FailWritesPastTheSizeLimit. For command-line programs; the editor
// leaves SDL's own handling in place. False when a handler could not be set.
bool RemoveTemporaryFilesOnSignals();

// From now on a write past the process's file size limit (ulimit -f) fails
// with EFBIG, as on a full disk, so that the replacement is abandoned and
// reported; by default SIGXFSZ would end the process and leave the temporary
// file. False when that could not be set.
bool FailWritesPastTheSizeLimit();
