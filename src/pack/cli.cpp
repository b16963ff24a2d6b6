#include "pack/cli.h"

#include <CLI/CLI.hpp>

namespace pack {
int RunCli(int argc, char** argv) {
    CLI::App app{"uninstpack: builds and inspects uninstaller data blocks"};
    app.require_subcommand(1);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    return 0;
}
}  // namespace pack
