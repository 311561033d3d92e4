#include "problem.h"

#include <cstdarg>
#include <cstdio>

void SetProblem(Problem* problem, const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
    if (!problem || problem->reason[0] != '\0') return;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(problem->reason, sizeof problem->reason, format, arguments);
    va_end(arguments);
}
