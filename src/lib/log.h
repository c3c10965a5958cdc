// Console messages and the program's log file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "lib/text.h"
#include "platform/lock.h"
#include "platform/printf_check.h"

enum LogLevel : int32_t {
    LOG_CRITICAL = 0,
    LOG_ERROR = 1,
    LOG_WARN = 2,
    LOG_INFO = 3,
    LOG_DIAGNOSTIC = 4,
    LOG_DEBUG = 5,
    LOG_DETAIL = 6,
};

// The name a level carries in every line ("INFO"); "?" for a level no caller uses.
const char* log_level_name(int32_t level);

// Appends time-stamped trace lines to a file, one block per run.
class Log {
public:
    // A null file name makes a log that writes nothing.
    Log(const char* file_name, int32_t threshold);
    ~Log();
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;

    // -1 when nothing was written, else the length of the formatted message.
    int32_t write(int32_t level, const char* source_path, const char* function, const char* fmt,
                  ...) KD_PRINTF_LIKE(5, 6);

    bool is_open() const { return file_ != nullptr; }

private:
    struct Timer {
        int64_t frequency;
        int64_t start;
        int64_t latest;
    };

    FILE* file_;
    int32_t threshold_;
    std::unique_ptr<platform::Lock> lock_;
    std::unique_ptr<Timer> timer_;
    String user_name_;
    String computer_name_;
};

// Prints a user message on standard output: no prefix, no added newline.
void console_print(const char* fmt, ...) KD_PRINTF_LIKE(1, 2);
// Prints text made beforehand, as console_print("%s") would, for a caller
// that prints many lines and formats them itself.
void console_write(const char* text, size_t length);
