#include "progress.h"

#include <new>

#include "platform/terminal.h"

Progress::Progress(FILE* stream) : stream_(platform::is_terminal(stream) ? stream : nullptr) {}

Progress::~Progress() { clear(); }

void Progress::show(const std::string& stage, int64_t done, int64_t total) noexcept
{
    if (!stream_) return;
    try {
        rewrite(stage + " " + std::to_string(done) + "/" + std::to_string(total));
    } catch (const std::bad_alloc&) {
    }
}

void Progress::rewrite(const std::string& line)
{
    if (line == shown_) return;
    // Spaces wipe what a longer line left; no terminal control codes needed.
    const size_t wipe = shown_.size() > line.size() ? shown_.size() - line.size() : 0;
    std::fputs(("\r" + line + std::string(wipe, ' ')).c_str(), stream_);
    std::fflush(stream_);
    shown_ = line;
}

void Progress::clear() noexcept
{
    if (!stream_ || shown_.empty()) return;
    std::fputc('\r', stream_);
    for (size_t i = 0; i < shown_.size(); ++i) std::fputc(' ', stream_);
    std::fputc('\r', stream_);
    std::fflush(stream_);
    shown_.clear();
}
