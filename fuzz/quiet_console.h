// The commands print a line or two per input; at thousands of inputs a second
// that would bury the fuzzer's own report. The messages go to a scratch file
// instead, rewound before every input so it never grows past one input's
// worth.
#pragma once

#include <cstdio>

inline void quiet_console(const char* scratch_path)
{
    static const bool redirected = std::freopen(scratch_path, "w", stdout) != nullptr;
    if (redirected) std::rewind(stdout);
}
