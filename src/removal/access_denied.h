// The class of platform error codes that the removal passes treat alike as "access denied": a file
// that is read-only, in use, locked or on protected media. Every pass asks this one predicate.
#pragma once

#include <stdint.h>

// True for 5 (access denied), 16 (current directory), 19 to 36 (write protect through sharing
// buffer exceeded: the sharing violation 32 and the lock violation 33 among them), 65 (network
// access denied), 82 (cannot make), 83 (critical-error handler failure), 108 (drive locked),
// 132 (seek on device), 158 (not locked) and 167 (lock failed).
constexpr bool IsAccessDeniedError(uint32_t code) {
    switch (code) {
        case 5:
        case 16:
        case 65:
        case 82:
        case 83:
        case 108:
        case 132:
        case 158:
        case 167:
            return true;
        default:
            return code >= 19 && code <= 36;
    }
}
