// The Windows benchmarks' sizes and counts, from the environment.
#pragma once

#include <windows.h>

#include <cstdlib>

// The whole number in environment variable `name` (1 to 9,999,999), else `fallback`.
inline unsigned Setting(const char* name, unsigned fallback) {
    char text[32];
    DWORD n = GetEnvironmentVariableA(name, text, sizeof(text));
    if (n == 0 || n >= sizeof(text)) return fallback;
    unsigned long value = std::strtoul(text, nullptr, 10);
    return value > 0 && value < 10000000 ? static_cast<unsigned>(value) : fallback;
}
