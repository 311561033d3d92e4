#include "editor_app.h"
#include "font.h"

namespace {
constexpr uint32_t kGrey = 0xA0A0A0;
constexpr uint32_t kWhite = 0xFFFFFF;

}  // namespace

void EditorApp::DrawEditorScreen() {
    LockScreen(screen);
    SDL_FillRect(screen, nullptr, kGrey);
    SDL_FillRect(screen, &imageArea, kWhite);
    SDL_FillRect(screen, &titleArea, kWhite);
    SDL_FillRect(screen, &lowTitleArea, kWhite);
    UnlockScreen(screen);

    if (imageSurface) {
        SDL_UpperBlit(imageSurface, nullptr, screen, nullptr);
    } else {
        DrawText("No image", 0, 0, screen);
    }
    // The title areas are the blit destinations too, so SDL leaves in them the
    // size of the picture drawn: from the next frame on, the white backdrop
    // has the picture's size (kept on purpose, see docs/quirks.md).
    if (titleSurface) {
        SDL_UpperBlit(titleSurface, nullptr, screen, &titleArea);
    } else {
        DrawText("No image", 350, 0, screen);
    }
    if (lowTitleSurface) {
        SDL_UpperBlit(lowTitleSurface, nullptr, screen, &lowTitleArea);
    } else {
        DrawText("No image", 350, 100, screen);
    }

    // Fields from files may hold no zero byte: never read past their width.
    DrawText("Episode name:", 350, 200, screen);
    DrawTextField(episode.header.name, kNameSize, 358, 216, screen);
    DrawText("Start level:", 350, 248, screen);
    DrawTextField(episode.header.startLevel, kStartLevelSize, 358, 264, screen);
    DrawText("Place in episodelist:", 350, 296, screen);
    DrawNumber(static_cast<int32_t>(episode.header.listPlace), 358, 312, screen);
    DrawText("Filename:", 350, 344, screen);
    DrawTextField(fileName, kFileNameSize, 358, 360, screen);

    DrawText("Load VDE", 32, 432, screen);
    DrawText("Save VDE", 128, 432, screen);
    DrawText("Save BMP", 224, 432, screen);

    SDL_UpdateRect(screen, 0, 0, 0, 0);
}
