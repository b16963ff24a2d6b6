// The loader benchmark on the host build (time and peak memory).
#include "load_bench.h"

int main() {
    return RunLoadBench("host");
}
