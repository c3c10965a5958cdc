// The calling conventions of the two interfaces' entry points. A pointer of
// the wrong convention corrupts the stack of a 32-bit Windows build, so every
// entry point and every function type of an interface uses its macro.
// These are the only operating-system conditionals outside src/platform/.
// The instruction set is a different matter: vector code is chosen where it
// is written (`__SSE2__` in lib/byte_conversion.cpp, with a plain loop for
// any other processor), and compiler builtins live in src/platform/.
#pragma once

// GenTL: __stdcall on 32-bit Windows, the plain C convention everywhere else.
#if defined(_WIN32) && !defined(_WIN64)
#define GC_CALLTYPE __stdcall
#else
#define GC_CALLTYPE
#endif

// Camera Link serial: __cdecl on Windows (where 32-bit builds could otherwise
// differ), the plain C convention everywhere else.
#if defined(_WIN32)
#define CLSER_CALLTYPE __cdecl
#else
#define CLSER_CALLTYPE
#endif
