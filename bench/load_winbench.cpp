// The loader benchmark on the Windows build, under Wine (time; memory is counted by the host build).
#include "load_bench.h"

int main() {
    return RunLoadBench(sizeof(void*) == 4 ? "win32" : "win64");
}
