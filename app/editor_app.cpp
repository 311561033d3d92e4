#include "editor_app.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "event_feed.h"
#include "font.h"
#include "reference_palette.h"

void EditorApp::Init(uint16_t width, uint16_t height, uint32_t flags) {
    const char* display = nullptr;  // set when the editor chose X for the user
#if !defined(_WIN32) && !defined(__APPLE__)
    // Without an X display SDL falls back to drawing the window as text in
    // the terminal, which never ends without one. Say so instead, unless the
    // user chose a video driver on purpose.
    const bool driverChosen = std::getenv("SDL_VIDEODRIVER") != nullptr;
    if (!driverChosen) display = std::getenv("DISPLAY");
    if (!driverChosen && !display) {
        // The hint runs as printed from anywhere: this folder, this program.
        // -noreset: SDL connects twice, and a server that resets when its
        // first client leaves may drop the second connection.
        char self[4096] = "vde_editor", here[4096] = ".";
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length > 0) self[length] = '\0';
        if (!getcwd(here, sizeof here)) std::strcpy(here, ".");
        std::fprintf(
            stderr,
            "No display: DISPLAY is not set, and the editor needs an X display; to try "
            "it in a virtual one: cd '%s' && xvfb-run -a -s '-screen 0 640x480x24 -noreset' '%s'\n",
            here, self);
        std::exit(1);
    }
    // The same fallback follows a display that is named but cannot be opened
    // (gone, refused, or a server resetting as SDL connects): with DISPLAY
    // set, X is the only driver tried, and its failure is said.
    if (display) setenv("SDL_VIDEODRIVER", "x11", 1);
#endif
    if (SDL_Init(flags) < 0) {
        std::fprintf(stderr, "Couldn't initialize SDL: %s\n", SDL_GetError());
        if (display) std::fprintf(stderr, "No display: cannot open the X display '%s'\n", display);
        std::exit(1);
    }
    std::atexit(SDL_Quit);
    screen = SDL_SetVideoMode(width, height, 32, 0);
    if (!screen) {
        std::fprintf(stderr, "Couldn't set desired video mode: %s\n", SDL_GetError());
        std::exit(1);
    }
    SDL_WM_SetCaption("VDE_Editor", nullptr);
    for (char& c : fileName) c = '\0';
    // Without the glyph sheet nothing, not even the palette message, can be
    // shown: say so where a developer looks and stop.
    if (!BuildFont(false, 0xFFFFFF)) {
        std::fprintf(stderr, "Couldn't build the font: %s\n", SDL_GetError());
        std::exit(1);
    }
    if (!LoadReferencePalette()) {
        std::fprintf(stderr, "Couldn't find \"menu.pal\" in the working directory\n");
        DrawText("Couldn't find \"menu.pal\"\nQuitting...", 64, 64, screen);
        SDL_UpdateRect(screen, 0, 0, 0, 0);
        WaitForKey();
        std::exit(1);
    }
    SetFreshEpisode(episode);
    imageSurface = nullptr;
    titleSurface = nullptr;
    lowTitleSurface = nullptr;
    lastFrameTick = SDL_GetTicks();
    initialised = true;
}

void EditorApp::Run() {
    if (!initialised) {
        std::fprintf(stderr, "Application not initialized: %s\n", SDL_GetError());
        std::exit(1);
    }
    running = true;
    imageArea = SDL_Rect{0, 0, 304, 354};
    titleArea = SDL_Rect{350, 0, 220, 78};
    lowTitleArea = SDL_Rect{350, 100, 220, 78};
    while (running) RunPass();
}

void EditorApp::RunPass() {
    while (PollEvent(&event)) DispatchEvent();
    const uint32_t now = SDL_GetTicks();
    // Unsigned difference: correct across the tick counter's wrap.
    if (now - lastFrameTick >= kFrameInterval) {
        lastFrameTick = now;
        Update();
        ReadMouse();
        DrawEditorScreen();
    }
}

void EditorApp::DispatchEvent() {
    switch (event.type) {
        case SDL_KEYDOWN:
            if (event.key.keysym.sym < SDLK_LAST) keyState[event.key.keysym.sym] = 1;
            OnKeyDown();
            break;
        case SDL_KEYUP:
            if (event.key.keysym.sym < SDLK_LAST) keyState[event.key.keysym.sym] = 0;
            OnKeyUp();
            break;
        case SDL_MOUSEBUTTONDOWN:
            buttonState[event.button.button] = 1;
            OnMouseDown();
            break;
        case SDL_MOUSEBUTTONUP:
            buttonState[event.button.button] = 0;
            OnMouseUp();
            break;
        case SDL_QUIT:
            running = false;
            break;
        case SDL_VIDEORESIZE: {
            // The old window surface is gone after a new video mode: draw
            // through the new one from now on.
            SDL_Surface* resized =
                SDL_SetVideoMode(event.resize.w, event.resize.h, 32, SDL_RESIZABLE);
            if (resized) screen = resized;
            break;
        }
        default:
            std::fprintf(stderr, "I don't know what this event is!\n");
            break;
    }
}

void EditorApp::OnKeyDown() {
    switch (event.key.keysym.sym) {
        case SDLK_ESCAPE:
            running = false;
            break;
        case SDLK_KP_MINUS:
            if (episode.header.listPlace != 0) --episode.header.listPlace;
            break;
        case SDLK_KP_PLUS:
            ++episode.header.listPlace;  // wraps to 0 past the largest value
            break;
        default:
            break;
    }
}

void EditorApp::OnKeyUp() {}

void EditorApp::OnMouseDown() {
    mouseX = event.button.x;
    mouseY = event.button.y;
}

void EditorApp::Update() {}

void EditorApp::ReadMouse() {
    SDL_GetMouseState(&mouseX, &mouseY);
}
