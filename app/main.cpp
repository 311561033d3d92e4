#include <cstdlib>

#include "editor_app.h"
#include "safe_write.h"

int main(int /*argc*/, char** /*argv*/) {
    // A save past the file size limit is then a failed save, not the end of
    // the editor and of the user's unsaved work.
    FailWritesPastTheSizeLimit();
    EditorApp app;
    app.Init(640, 480, SDL_INIT_TIMER | SDL_INIT_VIDEO);
    app.Run();
    std::exit(0);
}
