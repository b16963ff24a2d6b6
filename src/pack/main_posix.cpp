#include "pack/cli.h"

int main(int argc, char** argv) {
    return pack::RunCli(argc, argv);
}
