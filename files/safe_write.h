// Replacing a file without ever leaving it half-written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Calls `write` with a temporary file created beside `path`, then flushes,
// syncs and closes it and renames it over `path`. Returns false, with the
// temporary file removed and any existing file at `path` exactly as it was,
// when `write` returns false or any step fails. A new file gets the ordinary
// mode (0666 less the umask).
bool ReplaceFile(const char* path, bool (*write)(FILE* out, const void* context),
                 const void* context);

// ReplaceFile with a block of bytes as the whole content.
bool ReplaceFileWithBytes(const char* path, const uint8_t* data, size_t size);
