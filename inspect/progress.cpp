#include "progress.h"

#include "platform/terminal.h"

Progress::Progress(FILE* stream) : stream_(platform::is_terminal(stream) ? stream : nullptr) {}

Progress::~Progress() { clear(); }

void Progress::show(const std::string& stage, int64_t done, int64_t total)
{
    if (!stream_) return;
    const std::string line = stage + " " + std::to_string(done) + "/" + std::to_string(total);
    if (line == shown_) return;
    // Spaces wipe what a longer line left; no terminal control codes needed.
    const size_t wipe = shown_.size() > line.size() ? shown_.size() - line.size() : 0;
    std::fputs(("\r" + line + std::string(wipe, ' ')).c_str(), stream_);
    std::fflush(stream_);
    shown_ = line;
}

void Progress::clear()
{
    if (!stream_ || shown_.empty()) return;
    std::fputs(("\r" + std::string(shown_.size(), ' ') + "\r").c_str(), stream_);
    std::fflush(stream_);
    shown_.clear();
}
