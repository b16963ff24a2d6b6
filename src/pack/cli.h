// uninstpack's command line.
#pragma once

namespace pack {
// Runs the packer; returns its exit code: 0 done, 1 failure, 2 usage.
int RunCli(int argc, char** argv);
}  // namespace pack
