#include "episode_record.h"

#include <cstdlib>
#include <cstring>

namespace {

// Cuts a text that does not fit so that the field always keeps a zero byte;
// the rest of the field is left as it was, as the game's own files carry it.
void CopyIntoField(char* field, size_t size, const char* text) {
    if (!text) text = "";
    const size_t length = strnlen(text, size - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

void Release(uint8_t*& buffer) {
    std::free(buffer);
    buffer = nullptr;
}

}  // namespace

void ResetEpisode(EpisodeRecord& episode) {
    EpisodeHeader& h = episode.header;
    h.headerSize = 204;
    h.listPlace = 7;
    h.episodeExtraA = 1;
    h.episodeExtraB = 0;
    std::memset(h.name, 0, sizeof h.name);
    std::memset(h.startLevel, 0, sizeof h.startLevel);
    h.imageWidth = 304;
    h.imageHeight = 354;
    h.imageExtraA = 0x00670098;
    h.imageExtraB = 0x00770860;
    h.titleWidth = 220;
    h.titleHeight = 78;
    h.titleExtraA = 0x006BB0CC;
    h.titleExtraB = 0x00706100;
}

void SetFreshEpisode(EpisodeRecord& episode) {
    ResetEpisode(episode);
    SetEpisodeName(episode, "#Kelto@Episode");
    SetStartLevel(episode, "CASTLE1.VLV");
}

void SetEpisodeName(EpisodeRecord& episode, const char* text) {
    CopyIntoField(episode.header.name, kNameSize, text);
}

void SetStartLevel(EpisodeRecord& episode, const char* text) {
    CopyIntoField(episode.header.startLevel, kStartLevelSize, text);
}

void FreeEpisodeBuffers(EpisodeRecord& episode) {
    Release(episode.imagePixels);
    Release(episode.titlePixels);
    Release(episode.lowTitlePixels);
    Release(episode.imageBlob.data);
    Release(episode.titleBlob.data);
    Release(episode.lowTitleBlob.data);
}
