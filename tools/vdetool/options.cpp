#include "options.h"

#include <getopt.h>

namespace {

// getopt_long's code for the rule at index i: above every character.
constexpr int kFirstLongCode = 256;

// The rule getopt_long's code names: a rule's long code or a short name.
const OptionRule* RuleFor(const std::vector<OptionRule>& rules, int code) {
    for (size_t i = 0; i < rules.size(); ++i) {
        const bool byLong = code == kFirstLongCode + static_cast<int>(i);
        if (byLong || (code > 0 && code == rules[i].shortName)) return &rules[i];
    }
    return nullptr;
}

// What went wrong with the option getopt_long stopped at: `code` is its
// answer, `which` the option it names, `given` the argument as typed.
std::string Mistake(const std::vector<OptionRule>& rules, int code, int which,
                    const std::string& given) {
    if (const OptionRule* rule = RuleFor(rules, which)) {
        return std::string("--") + rule->name +
               (code == ':' ? " needs a value" : " takes no value");
    }
    const std::string name =
        which > 0 ? std::string("-") + char(which) : given.substr(0, given.find('='));
    std::vector<std::string> names, beginning;
    names.reserve(rules.size());
    for (const OptionRule& known : rules) {
        names.emplace_back(std::string("--") + known.name);
        if (which == 0 && names.back().compare(0, name.size(), name) == 0) {
            beginning.push_back(names.back());
        }
    }
    if (beginning.size() > 1) {
        std::string message = "option '" + name + "' is ambiguous:";
        for (const std::string& candidate : beginning) message += " " + candidate;
        return message;
    }
    return UnknownName("option", name, names);
}

}  // namespace

bool ParseArguments(int argc, const char* const* argv, const std::vector<OptionRule>& rules,
                    ParsedArguments& parsed, std::string& error) {
    // getopt_long wants a program name first and reorders what follows.
    error.clear();
    std::vector<char*> args{const_cast<char*>("vdetool")};
    args.insert(args.end(), const_cast<char**>(argv), const_cast<char**>(argv) + argc);
    args.push_back(nullptr);
    std::vector<option> longOptions;
    longOptions.reserve(rules.size() + 1);
    std::string shortOptions = ":";  // ':' tells a missing value from an unknown option
    for (size_t i = 0; i < rules.size(); ++i) {
        const int hasValue = rules[i].takesValue ? required_argument : no_argument;
        longOptions.push_back(
            {rules[i].name, hasValue, nullptr, kFirstLongCode + static_cast<int>(i)});
        if (rules[i].shortName == 0) continue;
        shortOptions += rules[i].shortName;
        if (rules[i].takesValue) shortOptions += ':';
    }
    longOptions.push_back({});
    optind = 0;  // a fresh scan, for every command run in this process
    opterr = 0;
    const int count = static_cast<int>(args.size()) - 1;
    for (int code; (code = getopt_long(count, args.data(), shortOptions.c_str(), longOptions.data(),
                                       nullptr)) != -1;) {
        // On a mistake getopt_long names the option in optopt: a character,
        // a rule's code, or 0 for a long name it does not know.
        if (code == '?' || code == ':') {
            if (error.empty()) error = Mistake(rules, code, optopt, args[optind - 1]);
            continue;
        }
        const OptionRule* rule = RuleFor(rules, code);
        if (!parsed.options.emplace(rule->name, optarg ? optarg : "").second && error.empty()) {
            error = std::string("--") + rule->name + " is given twice";
        }
    }
    parsed.operands.assign(args.begin() + optind, args.begin() + count);
    return error.empty();
}

const std::string* OptionValue(const ParsedArguments& parsed, const char* name) {
    const auto found = parsed.options.find(name);
    return found == parsed.options.end() ? nullptr : &found->second;
}

bool OneEditApart(const std::string& a, const std::string& b) {
    if (a == b) return false;
    const std::string& shorter = a.size() <= b.size() ? a : b;
    const std::string& longer = a.size() <= b.size() ? b : a;
    if (longer.size() - shorter.size() > 1) return false;
    size_t start = 0;
    while (start < shorter.size() && shorter[start] == longer[start]) ++start;
    if (shorter.size() < longer.size()) {
        return shorter.compare(start, std::string::npos, longer, start + 1, std::string::npos) == 0;
    }
    // Same length: one character replaced, or two neighbours swapped.
    const size_t rest = start + 1;
    if (shorter.compare(rest, std::string::npos, longer, rest, std::string::npos) == 0) return true;
    return rest < shorter.size() && shorter[start] == longer[rest] &&
           shorter[rest] == longer[start] &&
           shorter.compare(rest + 1, std::string::npos, longer, rest + 1, std::string::npos) == 0;
}

std::string UnknownName(const char* kind, const std::string& name,
                        const std::vector<std::string>& known) {
    std::string message = std::string("unknown ") + kind + " '" + name + "'";
    for (const std::string& candidate : known) {
        if (OneEditApart(name, candidate)) {
            message.append("; did you mean '").append(candidate).append("'?");
            break;
        }
    }
    return message;
}
