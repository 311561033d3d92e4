#include "options.h"

namespace {

const OptionSpec* FindLong(const std::vector<OptionSpec>& specs, const std::string& name) {
    for (const OptionSpec& spec : specs) {
        if (name == spec.name) return &spec;
    }
    return nullptr;
}

const OptionSpec* FindShort(const std::vector<OptionSpec>& specs, char name) {
    for (const OptionSpec& spec : specs) {
        if (spec.shortName != 0 && spec.shortName == name) return &spec;
    }
    return nullptr;
}

}  // namespace

bool ParseArguments(int argc, const char* const* argv, int first,
                    const std::vector<OptionSpec>& specs, ParsedArguments& parsed,
                    std::string& error) {
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument == "-" || argument.empty() || argument[0] != '-') {
            parsed.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionSpec* spec = nullptr;
        std::string value;
        bool hasValue = false;
        if (argument[1] == '-') {
            const size_t equals = argument.find('=');
            spec = FindLong(
                specs,
                argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
                hasValue = true;
            }
        } else if (argument.size() == 2) {
            spec = FindShort(specs, argument[1]);
        }
        if (!spec) {
            error = "unknown option '" + argument + "'";
            return false;
        }
        const std::string display = std::string("--") + spec->name;
        if (parsed.options.count(spec->name)) {
            error = display + " is given twice";
            return false;
        }
        if (!spec->takesValue && hasValue) {
            error = display + " takes no value";
            return false;
        }
        if (spec->takesValue && !hasValue) {
            if (i + 1 >= argc) {
                error = display + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        parsed.options[spec->name] = value;
    }
    return true;
}

const std::string* OptionValue(const ParsedArguments& parsed, const char* name) {
    const auto found = parsed.options.find(name);
    return found == parsed.options.end() ? nullptr : &found->second;
}
