// Lets the compiler check printf-style calls against their format, with the
// checker that matches the runtime's printf (mingw's own under
// __USE_MINGW_ANSI_STDIO, which understands %lld and %zu).
#pragma once

#if defined(__MINGW32__)
#define KD_PRINTF_LIKE(fmt_index, first_arg) \
    __attribute__((format(gnu_printf, fmt_index, first_arg)))
#elif defined(__GNUC__)
#define KD_PRINTF_LIKE(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))
#else
#define KD_PRINTF_LIKE(fmt_index, first_arg)
#endif
