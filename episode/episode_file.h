// The episode file (".vde"): a 208-byte header and three length-prefixed
// zlib blobs, all integers 4 bytes little-endian, no magic, no padding.
//
//   0   headerSize     4    16  name      128   192 titleWidth    4
//   4   listPlace      4   144  startLevel 32   196 titleHeight   4
//   8   episodeExtraA  4   176  imageWidth  4   200 titleExtraA   4
//  12   episodeExtraB  4   180  imageHeight 4   204 titleExtraB   4
//                          184  imageExtraA 4
//                          188  imageExtraB 4
//  208  L1, then L1 bytes of Image blob; L2, Title blob; L3, LowTitle blob.
//
// Anything after the third blob is ignored.
#pragma once

#include <cstdint>

#include "episode_record.h"
#include "problem.h"

constexpr size_t kEpisodeHeaderBytes = 208;

// What a read found, for reporting.
struct EpisodeReadReport {
    bool complete = false;  // header and all three blobs were whole
    uint64_t fileSize = 0;  // bytes in the file
    int wholeBlobs = 0;     // blobs read whole, in file order (0 to 3)
    // Why it is not complete, with the slot and the numbers, e.g. "Image blob
    // length 4294967295 runs past the end of the file (120 bytes left)".
    Problem problem;
};

// Header <-> its 208 file bytes (little-endian on every host; text fields at
// full width, bytes after the zero byte included).
void EncodeEpisodeHeader(const EpisodeHeader& header, uint8_t out[kEpisodeHeaderBytes]);
void DecodeEpisodeHeader(const uint8_t in[kEpisodeHeaderBytes], EpisodeHeader& header);

// Reads the file at `path` into the record (blob data still present is
// released first). Returns false only when the file cannot be opened (or, for
// a pipe, read to its end within kMaxPictureFileBytes); the record is then
// unchanged, and the report says why. A damaged file (ending inside the
// header, a length or a blob, or a blob length beyond the end of the file)
// still returns true, but then no byte it did not supply is used: the header
// is taken only whole (else it is left as it was), and every blob from the
// first damaged one on is left empty, so that UnpackPictures refuses the
// episode. A pipe is read to its end like a file of that size.
bool ReadEpisodeFile(EpisodeRecord& episode, const char* path, EpisodeReadReport* report = nullptr);

// Writes header and blobs through ReplaceFile (safe_write.h): whole or not at
// all, an existing file left exactly as it was on any failure. False, with
// the reason, on a failure; a blob with a length but no data is one too.
bool WriteEpisodeFile(const EpisodeRecord& episode, const char* path, Problem* problem = nullptr);
