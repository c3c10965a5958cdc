// Reading back what a test's own Log wrote.
#pragma once

#include <fstream>
#include <string>
#include <vector>

// The trace lines of a log file without their time stamps, the start and end
// lines left out. The log is a text file: CR LF line ends on Windows.
inline std::vector<std::string> trace_lines(const char* log_name)
{
    std::ifstream file(log_name, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '*') continue;
        lines.push_back(line.substr(line.find(' ') + 1));
    }
    return lines;
}
