// The calling convention of GenTL entry points: __stdcall on 32-bit Windows,
// the plain C convention everywhere else. A pointer of the wrong convention
// corrupts the stack of the 32-bit build, so every GenTL function type uses this.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define GC_CALLTYPE __stdcall
#else
#define GC_CALLTYPE
#endif
