#include <cstdio>

#include "safe_write.h"
#include "vdetool.h"

int main(int argc, char** argv) {
    // An interrupted write leaves no temporary file behind.
    if (!RemoveTemporaryFilesOnSignals()) std::perror("vdetool: cannot handle interrupts");
    return RunVdetool(argc, argv, stdout, stderr);
}
