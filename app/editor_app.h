// The editor's one application object: start-up, the event loop, the
// handlers that read the event being dispatched, and the editor screen.
#pragma once

#include <SDL.h>
#include <cstdint>

#include "episode_record.h"

// Width of the current file name: a 32-character name and its zero byte.
constexpr size_t kFileNameSize = 33;

class EditorApp {
  public:
    // Opens the window, builds the font and keyboard tables, loads
    // "menu.pal" and sets up the default episode. Every failure ends the
    // process with status 1.
    void Init(uint16_t width, uint16_t height, uint32_t flags);

    // Runs passes of the main loop until Escape or a quit event.
    void Run();

    // One pass of the main loop: drain the queue, then draw a frame if 20 ms
    // have passed since the last one began.
    void RunPass();

    // Handles the event in `event` by its type (state change, then handler).
    void DispatchEvent();

    void OnKeyDown();
    void OnKeyUp();
    void OnMouseDown();
    void OnMouseUp();
    void Update();
    void ReadMouse();
    void DrawEditorScreen();

    // State, public so that tests can read and arrange it.
    SDL_Surface* screen = nullptr;
    SDL_Event event{};
    uint32_t lastFrameTick = 0;
    bool initialised = false;
    bool running = false;
    uint8_t keyState[SDLK_LAST] = {};
    uint8_t buttonState[256] = {};
    int mouseX = 0;
    int mouseY = 0;
    EpisodeRecord episode;
    SDL_Surface* imageSurface = nullptr;
    SDL_Surface* titleSurface = nullptr;
    SDL_Surface* lowTitleSurface = nullptr;
    char fileName[kFileNameSize] = {};

    // The three picture areas of the screen; made by Run, used by every frame.
    // The title areas double as blit destinations, so SDL shrinks them to the
    // picture last drawn there (see docs/quirks.md).
    SDL_Rect imageArea{0, 0, 304, 354};
    SDL_Rect titleArea{350, 0, 220, 78};
    SDL_Rect lowTitleArea{350, 100, 220, 78};

    static constexpr uint32_t kFrameInterval = 20;

  private:
    // The commands behind the mouse clicks (commands.cpp).
    enum class Slot { Image, Title, LowTitle };
    SDL_Surface*& SlotSurface(Slot slot);
    void ImportPicture(Slot slot);
    void EditEpisodeName();
    void EditStartLevel();
    void LoadEpisode();
    void SaveEpisode();
    void SaveBitmaps();
    void ShowMessage(const char* message);
};

// Gives `name` a dot and the three characters of `extension` when it has at
// most 28 characters (so the result has at most 32); a longer name stays as
// it is. A name that already ends in an extension gets a second one.
void AppendExtension(const char* extension, char* name);

// Locks or unlocks the surface when SDL requires it before touching pixels.
void LockScreen(SDL_Surface* surface);
void UnlockScreen(SDL_Surface* surface);

// Drops events until a pass of polling has held a key-down.
void WaitForKey();
