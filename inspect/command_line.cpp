#include "command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

const OptionRule* find_rule(const std::vector<OptionRule>& rules, const std::string& name)
{
    for (const OptionRule& rule : rules)
        if (name == rule.name) return &rule;
    return nullptr;
}

}  // namespace

bool parse_arguments(const std::vector<std::string>& args, size_t first,
                     const std::vector<OptionRule>& rules, ParsedArguments& parsed,
                     std::string& error)
{
    bool options_ended = false;
    for (size_t i = first; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            parsed.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const OptionRule* rule = find_rule(rules, name);
        if (!rule) {
            error = "unknown option " + name;
            return false;
        }
        if (!rule->takes_value) {
            if (equals != std::string::npos) {
                error = "option " + name + " takes no value";
                return false;
            }
            parsed.flags.insert(name);
            continue;
        }
        if (equals != std::string::npos) {
            parsed.values[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            parsed.values[name] = args[++i];
        } else {
            error = "option " + name + " needs a value";
            return false;
        }
        if (rule->repeats) parsed.lists[name].push_back(parsed.values[name]);
    }
    return true;
}

bool parse_whole_number(const std::string& text, int64_t low, int64_t high, int32_t& value)
{
    if (text.empty()) return false;
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || number < low || number > high) return false;
    value = static_cast<int32_t>(number);
    return true;
}

bool parse_decimal(const std::string& text, double low, double high, double& value)
{
    if (text.empty()) return false;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(number) || !(number > low) || number > high) return false;
    value = number;
    return true;
}
