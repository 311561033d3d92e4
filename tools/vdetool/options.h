// The command line of vdetool: options and operands of one command.
#pragma once

#include <map>
#include <string>
#include <vector>

struct OptionRule {
    const char* name;  // the long name, without its dashes
    char shortName;    // 0 when the option has none
    bool takesValue;
};

struct ParsedArguments {
    std::map<std::string, std::string> options;  // by long name; "" for a flag
    std::vector<std::string> operands;
};

// Reads argv[0] to argv[argc - 1] with getopt_long: "--name VALUE",
// "--name=VALUE", "-x VALUE", flags, and operands, in any order; "--" ends
// the options and "-" alone is an operand; a long name may be shortened to
// any beginning that names no other. False, with `error` saying what was
// wrong first (without the program's name), for an unknown or ambiguous
// option, an option given twice, a value missing or given to a flag; the
// rest of the line is still read into `parsed`.
bool ParseArguments(int argc, const char* const* argv, const std::vector<OptionRule>& rules,
                    ParsedArguments& parsed, std::string& error);

// The value of an option that was given, or null.
const std::string* OptionValue(const ParsedArguments& parsed, const char* name);

// True when `a` becomes `b` by inserting, removing or replacing one
// character, or by swapping two neighbouring ones.
bool OneEditApart(const std::string& a, const std::string& b);

// "unknown KIND 'NAME'", with "; did you mean 'X'?" when one of `known` is one
// edit away from it.
std::string UnknownName(const char* kind, const std::string& name,
                        const std::vector<std::string>& known);
