#include <cstdio>

#include "safe_write.h"
#include "vdetool.h"

int main(int argc, char** argv) {
    // An interrupted write leaves no temporary file behind.
    RemoveTemporaryFilesOnSignals();
    return RunVdetool(argc, argv, stdout, stderr);
}
