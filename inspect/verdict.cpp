#include "verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const comparisons = "; use <=, >=, <, > or ==";

// A run of these is read as one comparison, so that "<=<" or "=" is named
// whole in the message instead of being half taken.
const char* const comparison_characters = "<>=!";

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool is_comparison(const std::string& op)
{
    return op == "<=" || op == ">=" || op == "<" || op == ">" || op == "==";
}

bool holds(double value, const std::string& op, double limit)
{
    if (op == "<=") return value <= limit;
    if (op == ">=") return value >= limit;
    if (op == "<") return value < limit;
    if (op == ">") return value > limit;
    return value == limit;
}

}  // namespace

bool parse_requirement(const std::string& text, Requirement& requirement, std::string& error)
{
    const std::string quoted = "'" + text + "'";
    const size_t op_start = text.find_first_of(comparison_characters);
    if (op_start == std::string::npos) {
        error = quoted + ": no comparison" + comparisons;
        return false;
    }
    const size_t op_end =
        std::min(text.find_first_not_of(comparison_characters, op_start), text.size());
    const std::string op = text.substr(op_start, op_end - op_start);
    if (!is_comparison(op)) {
        error = quoted + ": " + op + " is no comparison" + comparisons;
        return false;
    }
    const std::string key = trimmed(text.substr(0, op_start));
    if (key.empty()) {
        error = quoted + ": no key before " + op;
        return false;
    }
    const std::vector<std::string> keys = metric_keys();
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
        error = quoted + ": unknown key " + key;
        return false;
    }
    const std::string number = trimmed(text.substr(op_end));
    if (number.empty()) {
        error = quoted + ": no number after " + op;
        return false;
    }
    char* end = nullptr;
    const double limit = std::strtod(number.c_str(), &end);
    if (*end != '\0' || !std::isfinite(limit)) {
        error = quoted + ": " + number + " is no number";
        return false;
    }
    requirement = Requirement{key, op, limit};
    return true;
}

std::string limit_text(double limit)
{
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, limit);
        if (std::strtod(text, nullptr) == limit) break;
    }
    return text;
}

std::string requirement_text(const Requirement& requirement)
{
    return requirement.key + " " + requirement.op + " " + limit_text(requirement.limit);
}

size_t Verdict::held() const
{
    return static_cast<size_t>(std::count_if(requirements.begin(), requirements.end(),
                                             [](const Judged& judged) { return judged.pass; }));
}

Verdict judge(const std::vector<Requirement>& requirements, const std::vector<Metric>& metrics)
{
    Verdict verdict;
    for (const Requirement& requirement : requirements) {
        // A figure that needs a map not given has no row of its own.
        const Metric* found = find_metric(metrics, requirement.key);
        Judged judged{requirement, found ? *found : Metric{requirement.key, std::nullopt}, false};
        if (judged.metric.value) {
            const double written = std::strtod(metric_text(judged.metric, "").c_str(), nullptr);
            judged.pass = holds(written, requirement.op, requirement.limit);
        }
        verdict.requirements.push_back(judged);
    }
    return verdict;
}

std::string requirement_keys_help()
{
    std::string text = "\nKEY is one of the figures of metrics.json:\n";
    std::string line = " ";
    for (const std::string& key : metric_keys()) {
        if (line.size() + 1 + key.size() > 79) {
            text += line + "\n";
            line = " ";
        }
        line += " " + key;
    }
    return text + line + "\n";
}
