#include <cstdlib>

#include "editor_app.h"

int main(int /*argc*/, char** /*argv*/) {
    EditorApp app;
    app.Init(640, 480, SDL_INIT_TIMER | SDL_INIT_VIDEO);
    app.Run();
    std::exit(0);
}
