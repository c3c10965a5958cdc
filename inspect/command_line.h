// kd-inspect's command line: a command word, then its file names and options
// in any order. An option takes its value as the next argument or after '='.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

struct OptionRule {
    const char* name;  // with its leading "--"
    bool takes_value;
    bool repeats = false;  // every value kept, in ParsedArguments::lists
};

struct ParsedArguments {
    std::vector<std::string> files;
    std::map<std::string, std::string> values;              // the last value of an option
    std::map<std::string, std::vector<std::string>> lists;  // of options that repeat
    std::set<std::string> flags;
    bool help = false;
};

// Reads args[first..] by the rules. "--help" and "-h" ask for help; "--"
// ends the options. False, with the reason in `error` (naming the option),
// for an unknown option or an option without its value.
bool parse_arguments(const std::vector<std::string>& args, size_t first,
                     const std::vector<OptionRule>& rules, ParsedArguments& parsed,
                     std::string& error);

// A whole number within [low, high], digits only after an optional sign.
bool parse_whole_number(const std::string& text, int64_t low, int64_t high, int32_t& value);

// A decimal number within (low, high].
bool parse_decimal(const std::string& text, double low, double high, double& value);
