// Progress of long work, shown on a terminal only: one line that keeps being
// rewritten ("reading frames 7/16") and is wiped when the work is done.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class Progress {
public:
    // Shows nothing unless `stream` is a terminal.
    explicit Progress(FILE* stream);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // "<stage> <done>/<total>"; the line is rewritten only when it changes.
    // Never throws, so that the parts of a pass that run at the same time may
    // call it: a line that cannot be made is not shown.
    void show(const std::string& stage, int64_t done, int64_t total) noexcept;
    // Wipes the line.
    void clear() noexcept;

private:
    void rewrite(const std::string& line);

    FILE* stream_;
    std::string shown_;
};
