// A report's verdict: requirements on its figures, each a metrics.json key,
// a comparison and a limit, so that a script can stop on a bad calibration
// by the exit status alone.
#pragma once

#include <string>
#include <vector>

#include "report_data.h"

struct Requirement {
    std::string key;
    std::string op;  // "<=", ">=", "<", ">" or "=="
    double limit = 0.0;
};

// Reads "KEY<=LIMIT" (or >=, <, >, ==), spaces around the parts allowed.
// False, with the reason in `error` quoting the text, when it is not of
// that form, its key is no figure a report can hold or its limit is no
// finite number.
bool parse_requirement(const std::string& text, Requirement& requirement, std::string& error);

// "KEY OP LIMIT", as the summary and the page show a requirement.
std::string requirement_text(const Requirement& requirement);

// A limit in the fewest digits that read back as the same number.
std::string limit_text(double limit);

struct Judged {
    Requirement requirement;
    Metric metric;  // its value none where metrics.json holds null
    bool pass = false;
};

struct Verdict {
    std::vector<Judged> requirements;  // in the order given

    bool pass() const { return held() == requirements.size(); }
    size_t held() const;
};

// Each requirement against its figure as metrics.json writes it, so that a
// script reading metrics.json comes to the same verdict. A figure without a
// value fails every requirement.
Verdict judge(const std::vector<Requirement>& requirements, const std::vector<Metric>& metrics);

// The keys a requirement may name, as lines for the command's help.
std::string requirement_keys_help();
