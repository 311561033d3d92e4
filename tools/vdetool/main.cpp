#include <cstdio>

#include "vdetool.h"

int main(int argc, char** argv) {
    return RunVdetool(argc, argv, stdout, stderr);
}
