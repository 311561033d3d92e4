#include "options.h"

namespace {

const OptionRule* FindLong(const std::vector<OptionRule>& rules, const std::string& name) {
    for (const OptionRule& rule : rules) {
        if (name == rule.name) return &rule;
    }
    return nullptr;
}

const OptionRule* FindShort(const std::vector<OptionRule>& rules, char name) {
    for (const OptionRule& rule : rules) {
        if (rule.shortName != 0 && rule.shortName == name) return &rule;
    }
    return nullptr;
}

}  // namespace

bool ParseArguments(int argc, const char* const* argv, int first,
                    const std::vector<OptionRule>& rules, ParsedArguments& parsed,
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
        const OptionRule* rule = nullptr;
        std::string value;
        bool hasValue = false;
        if (argument[1] == '-') {
            const size_t equals = argument.find('=');
            rule = FindLong(
                rules,
                argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2));
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
                hasValue = true;
            }
        } else if (argument.size() == 2) {
            rule = FindShort(rules, argument[1]);
        }
        if (!rule) {
            error = "unknown option '" + argument + "'";
            return false;
        }
        const std::string display = std::string("--") + rule->name;
        if (parsed.options.count(rule->name)) {
            error = display + " is given twice";
            return false;
        }
        if (!rule->takesValue && hasValue) {
            error = display + " takes no value";
            return false;
        }
        if (rule->takesValue && !hasValue) {
            if (i + 1 >= argc) {
                error = display + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        parsed.options[rule->name] = value;
    }
    return true;
}

const std::string* OptionValue(const ParsedArguments& parsed, const char* name) {
    const auto found = parsed.options.find(name);
    return found == parsed.options.end() ? nullptr : &found->second;
}
