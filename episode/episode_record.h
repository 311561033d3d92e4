// The episode being edited: header fields, three compressed pictures and
// three raw pixel buffers.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kNameSize = 128;
constexpr size_t kStartLevelSize = 32;

// The fixed leading part of the record, field for field the first 208 bytes
// of an episode file (see episode_file.h).
struct EpisodeHeader {
    int32_t headerSize = 0;
    uint32_t listPlace = 0;
    int32_t episodeExtraA = 0;
    int32_t episodeExtraB = 0;
    char name[kNameSize] = {};
    char startLevel[kStartLevelSize] = {};
    uint32_t imageWidth = 0;
    uint32_t imageHeight = 0;
    int32_t imageExtraA = 0;
    int32_t imageExtraB = 0;
    uint32_t titleWidth = 0;   // also the LowTitle's width
    uint32_t titleHeight = 0;  // also the LowTitle's height
    int32_t titleExtraA = 0;
    int32_t titleExtraB = 0;
};

// One compressed picture: `length` bytes of zlib stream at the start of `data`
// (which may be larger).
struct Blob {
    uint32_t length = 0;
    uint8_t* data = nullptr;
};

struct EpisodeRecord {
    EpisodeHeader header;
    Blob imageBlob, titleBlob, lowTitleBlob;
    uint8_t* imagePixels = nullptr;
    uint8_t* titlePixels = nullptr;
    uint8_t* lowTitlePixels = nullptr;
};

// Header defaults: 204, place 7, extras 1 and 0, empty name and start level,
// Image 304x354 with extras 0x00670098 and 0x00770860, Title 220x78 with
// extras 0x006BB0CC and 0x00706100. Blobs and buffers are left alone.
void ResetEpisode(EpisodeRecord& episode);

// A fresh editor's episode: ResetEpisode, then the name "#Kelto@Episode" and
// the start level "CASTLE1.VLV". Blobs and buffers are left alone.
void SetFreshEpisode(EpisodeRecord& episode);

// Copy `text` and its zero byte to the start of the field; the bytes after it
// stay. A text too long for the field is cut to fit with its zero byte.
void SetEpisodeName(EpisodeRecord& episode, const char* text);
void SetStartLevel(EpisodeRecord& episode, const char* text);

// Releases the six heap buffers that are present and sets them absent.
// Lengths and header stay. All six come from malloc/calloc (ReadBlob,
// PackPictures, UnpackPictures, SurfacesToBuffers) and go back with free.
void FreeEpisodeBuffers(EpisodeRecord& episode);
