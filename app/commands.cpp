// The commands behind the mouse clicks of the editor screen.
#include <cstring>

#include "bmp_file.h"
#include "colour_match.h"
#include "editor_app.h"
#include "episode_file.h"
#include "font.h"
#include "picture_file.h"
#include "picture_packing.h"
#include "prompt.h"
#include "reference_palette.h"

namespace {

// Room for a prompt's answer: 32 characters and the NUL.
using AnswerBuffer = char[kPromptMaxChars + 1];

constexpr size_t kExtensionLength = 3;
constexpr size_t kMaxNameForExtension = 28;

}  // namespace

void AppendExtension(const char* extension, char* name) {
    const size_t n = std::strlen(name);
    if (n > kMaxNameForExtension) return;
    name[n] = '.';
    std::memcpy(name + n + 1, extension, kExtensionLength);
    name[n + 1 + kExtensionLength] = '\0';
}

void EditorApp::OnMouseUp() {
    mouseX = event.button.x;
    mouseY = event.button.y;
    if (event.button.button != SDL_BUTTON_LEFT) return;
    const int x = mouseX;
    const int y = mouseY;

    // Strict bounds; the regions do not overlap, so one release runs at most
    // one command.
    if (x < 320 && y < 360) return ImportPicture(Slot::Image);
    if (x > 350 && x < 590 && y < 90) return ImportPicture(Slot::Title);
    if (x > 350 && x < 590 && y > 100 && y < 190) return ImportPicture(Slot::LowTitle);
    if (x > 350 && y > 200) {
        if (y < 232) return EditEpisodeName();
        if (y > 248 && y < 280) return EditStartLevel();
    }
    if (y > 432 && y < 448) {
        if (x > 32 && x < 96) return LoadEpisode();
        if (x > 128 && x < 192) return SaveEpisode();
        if (x > 224 && x < 288) return SaveBitmaps();
    }
}

SDL_Surface*& EditorApp::SlotSurface(Slot slot) {
    switch (slot) {
        case Slot::Image:
            return imageSurface;
        case Slot::Title:
            return titleSurface;
        case Slot::LowTitle:
            break;
    }
    return lowTitleSurface;
}

void EditorApp::ShowMessage(const char* message) {
    DrawText(message, 128, 128, screen);
    SDL_UpdateRect(screen, 128, 128, static_cast<Uint32>(8 * std::strlen(message)), 16);
    WaitForKey();
}

void EditorApp::ImportPicture(Slot slot) {
    AnswerBuffer name;
    if (!PromptText(name, "Enter bmp filename:", 64, 64, screen)) return;
    AppendExtension("bmp", name);
    int refusedDepth = 0;
    SDL_Surface* loaded = LoadBmpSafely(name, nullptr, &refusedDepth);
    if (!loaded) {
        // A file SDL could not read says nothing. One it read but that is not
        // safe to touch is refused, and at a depth the import does not take
        // it says so, as it would for a safe one.
        if (refusedDepth != 0 && refusedDepth != 8 && refusedDepth != 24) {
            ShowMessage("Not a supported bitdepth!");
        }
        return;
    }

    switch (loaded->format->BitsPerPixel) {
        case 8:
            if (!IsReferencePalette(loaded, ReferencePalette)) {
                ShowMessage("Not kto palette. Palette will be converted.");
            }
            break;
        case 24:
            DrawText("Bitdepth=24, image will be converted.", 128, 128, screen);
            SDL_UpdateRect(screen, 128, 128, 296, 16);
            WaitForKey();
            break;
        default:
            ShowMessage("Not a supported bitdepth!");
            SDL_FreeSurface(loaded);
            return;
    }
    // A conversion that cannot make its surface leaves the slot as it was.
    SDL_Surface* picture = loaded;
    if (!ConvertToPalette(&picture, ReferencePalette)) {
        SDL_FreeSurface(loaded);
        return;
    }
    SDL_Surface*& target = SlotSurface(slot);
    if (target) SDL_FreeSurface(target);
    target = picture;
}

void EditorApp::EditEpisodeName() {
    AnswerBuffer text = {};
    PromptText(text, "Enter episodename:", 128, 64, screen);
    if (text[0] != '\0') SetEpisodeName(episode, text);
}

void EditorApp::EditStartLevel() {
    AnswerBuffer text = {};
    PromptText(text, "Enter startlevel:", 128, 64, screen);
    if (text[0] == '\0') return;
    // The extension is added below 29 characters, as for every name, so a
    // level file named with its own ".VLV" fits too. A text that would not
    // fit the field with its zero byte (28 characters, 32 with ".VLV", or
    // 32) is refused rather than cut short: that would name another file.
    const size_t length = std::strlen(text);
    if (length == kMaxNameForExtension || length >= kStartLevelSize) {
        ShowMessage("Start level too long!");
        return;
    }
    AppendExtension("VLV", text);
    SetStartLevel(episode, text);
}

void EditorApp::LoadEpisode() {
    AnswerBuffer text = {};
    PromptText(text, "Enter episode filename:", 128, 64, screen);
    if (text[0] == '\0') return;
    AppendExtension("vde", text);
    std::memcpy(fileName, text, sizeof text);
    FreeEpisodeBuffers(episode);
    if (!ReadEpisodeFile(episode, fileName)) return;
    // A damaged or truncated file leaves its blobs empty, so it fails here
    // like any other that cannot be unpacked.
    if (!UnpackPictures(episode) ||
        !BuffersToSurfaces(episode, &imageSurface, &titleSurface, &lowTitleSurface)) {
        ShowMessage("File corrupt!");
        ResetEpisode(episode);
    }
}

void EditorApp::SaveEpisode() {
    AnswerBuffer text = {};
    PromptText(text, "Enter episode filename:", 128, 64, screen);
    if (text[0] == '\0') return;
    if (!imageSurface || !titleSurface || !lowTitleSurface) {
        ShowMessage("You need 3 bmp files!");
        return;
    }
    AppendExtension("vde", text);
    std::memcpy(fileName, text, sizeof text);
    FreeEpisodeBuffers(episode);
    // A save that writes nothing says so; the file that was there stays.
    if (!SurfacesToBuffers(episode, imageSurface, titleSurface, lowTitleSurface)) {
        const bool sameSize =
            titleSurface->w == lowTitleSurface->w && titleSurface->h == lowTitleSurface->h;
        ShowMessage(sameSize ? "Couldn't save file!" : "Title and LowTitle differ in size!");
        return;
    }
    if (!PackPictures(episode) || !WriteEpisodeFile(episode, fileName)) {
        ShowMessage("Couldn't save file!");
    }
}

void EditorApp::SaveBitmaps() {
    static const char* const kExportNames[] = {"Image.bmp", "Title.bmp", "LowTitle.bmp"};
    SDL_Surface* const pictures[] = {imageSurface, titleSurface, lowTitleSurface};
    bool written = true;
    for (int i = 0; i < 3; ++i) {
        // An empty slot leaves its file alone; a picture that cannot be
        // written leaves the old file, and the others are still written.
        if (!pictures[i]) continue;
        written = WriteIndexedPicture(kExportNames[i], PictureFormat::kBmp, PictureOf(pictures[i]),
                                      nullptr) &&
                  written;
    }
    if (!written) ShowMessage("Couldn't save file!");
}
