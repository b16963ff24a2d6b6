// A call into a library we know nothing about (a server's DllUnregisterServer), guarded so that a
// fault inside it - an access violation, a C++ exception thrown across the boundary, anything that
// raises - ends only that call, not the uninstaller. Windows only.
#pragma once

#include <windows.h>

// The export's declared type: STDAPI, so __stdcall on i686. Called through the wrong type it would
// leave the stack off by the callee's own pops, and only on the shipped 32-bit build.
using GuardedFunction = HRESULT(STDAPICALLTYPE*)();

// Calls `function` with no arguments. True when it returned; false when it raised and the guard
// caught it: frames the function registered are unwound, the stack, the callee-saved registers
// and the x87 control word are those of this call again, and the run goes on.
// i686: a frame-based handler on the fs:[0] chain (every Win32 family, 9x included);
// x86-64: a language handler in this function's unwind data (table-based).
[[nodiscard]] bool CallWithFaultGuard(GuardedFunction function);
