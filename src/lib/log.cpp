#include "lib/log.h"

#include <cstdarg>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/counter.h"
#include "platform/identity.h"

namespace {

String fetched_name(bool (*fetch)(std::string&))
{
    std::string name;
    if (!fetch(name)) return String("unknown");
    return String(name.c_str());
}

// The text after the last backslash of a source path, or all of it.
const char* last_path_component(const char* source_path)
{
    const char* last = std::strrchr(source_path, '\\');
    return last ? last + 1 : source_path;
}

}  // namespace

const char* log_level_name(int32_t level)
{
    static const char* const names[] = {"CRITICAL",   "ERROR", "WARN",  "INFO",
                                        "DIAGNOSTIC", "DEBUG", "DETAIL"};
    if (level < 0 || level > 6) return "?";
    return names[level];
}

Log::Log(const char* file_name, int32_t threshold) : file_(nullptr), threshold_(threshold)
{
    user_name_ = fetched_name(platform::user_name);
    computer_name_ = fetched_name(platform::computer_name);
    file_ = file_name ? std::fopen(file_name, "a") : nullptr;
    if (!file_) return;
    timer_.reset(new Timer);
    timer_->start = platform::counter_value();
    timer_->latest = timer_->start;
    timer_->frequency = platform::counter_frequency();
    char when[64];
    time_t now = std::time(nullptr);
    std::strftime(when, sizeof when, "%c", std::localtime(&now));
    std::fprintf(file_, "\n* start %s on %s/%s\n", when, computer_name_.c_str(),
                 user_name_.c_str());
    std::fflush(file_);
    lock_.reset(new platform::Lock);
}

Log::~Log()
{
    char when[64];
    time_t now = std::time(nullptr);
    std::strftime(when, sizeof when, "%c", std::localtime(&now));
    if (file_) {
        std::fprintf(file_, "* end %s\n", when);
        std::fflush(file_);
        std::fclose(file_);
        file_ = nullptr;
        lock_.reset();
    }
}

int32_t Log::write(int32_t level, const char* source_path, const char* function, const char* fmt,
                   ...)
{
    if (!file_) return -1;
    platform::LockGuard guard(*lock_);
    if (level > threshold_) return -1;

    timer_->latest = platform::counter_value();
    const double ticks_per_microsecond = static_cast<double>(timer_->frequency) / 1000000.0;
    const int64_t microseconds = static_cast<int64_t>(
        static_cast<double>(timer_->latest - timer_->start) / ticks_per_microsecond);
    const int64_t seconds = microseconds / 1000000;
    const int64_t remainder = microseconds - seconds * 1000000;

    std::fprintf(file_, "%ld.%06ld %s %s %s : ", static_cast<long>(static_cast<int32_t>(seconds)),
                 static_cast<long>(static_cast<int32_t>(remainder)), log_level_name(level),
                 last_path_component(source_path), function);
    va_list args;
    va_start(args, fmt);
    int written = std::vfprintf(file_, fmt, args);
    va_end(args);
    std::fputc('\n', file_);
    std::fflush(file_);
    return written;
}

void console_print(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::vprintf(fmt, args);
    va_end(args);
}

void console_write(const char* text, size_t length) { std::fwrite(text, 1, length, stdout); }
