// Why an operation on a file failed, in words: the libraries never print, so
// they hand this to the editor or vdetool, which report it.
#pragma once

// A short English reason for "vdetool: FILE: reason"; empty while nothing
// went wrong.
struct Problem {
    char reason[192] = {};
};

// Sets the reason (printf-style) when `problem` is given; the first reason
// set stays unless `problem` is cleared. Does nothing for null.
void SetProblem(Problem* problem, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Empties the reason when `problem` is given.
inline void ClearProblem(Problem* problem) {
    if (problem) problem->reason[0] = '\0';
}
