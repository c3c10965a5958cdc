// The calling convention of Camera Link serial entry points: __cdecl on
// Windows (where 32-bit builds could otherwise differ), the plain C convention
// everywhere else.
#pragma once

#if defined(_WIN32)
#define CLSER_CALLTYPE __cdecl
#else
#define CLSER_CALLTYPE
#endif
