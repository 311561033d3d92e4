#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "editor_app.h"
#include "safe_write.h"

int main(int /*argc*/, char** /*argv*/) {
    // A save past the file size limit or into a pipe nobody reads is then a
    // failed save, and a standard error nobody reads is no reason to stop:
    // neither may end the editor and the user's unsaved work.
    if (!FailWritesPastTheSizeLimit() || std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        std::perror("vde_editor: cannot set how failed writes end");
    }
    EditorApp app;
    app.Init(640, 480, SDL_INIT_TIMER | SDL_INIT_VIDEO);
    app.Run();
    std::exit(0);
}
