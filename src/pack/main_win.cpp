#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/scope_exit.h"
#include "pack/cli.h"
#include "pack/platform_win.h"

// Windows hands a program its arguments in UTF-16; the ANSI argv would turn every name the
// machine's code page cannot hold into "?". The packer works in UTF-8 throughout, as on POSIX.
int wmain(int argc, wchar_t** wideArgv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        std::string argument;
        if (!pack::platform::Utf8FromWide(wideArgv[i], argument)) {
            fprintf(stderr, "uninstpack: argument %d is not valid Unicode\n", i);
            return 2;
        }
        arguments.push_back(std::move(argument));
    }
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    // Results and messages are written as bytes, the same on every system: no "\n" to "\r\n" in
    // the text mode of the C library (a JSON dump or an uninstaller on standard output must come
    // out as it is made).
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A console shows the UTF-8 of names and messages as such only while its output code page is
    // UTF-8; the window's own page is put back afterwards.
    UINT consolePage = GetConsoleOutputCP();
    if (consolePage != 0) SetConsoleOutputCP(CP_UTF8);
    ScopeExit restore([&] {
        fflush(stdout);
        fflush(stderr);
        if (consolePage != 0) SetConsoleOutputCP(consolePage);
    });
    return pack::RunCli(argc, argv.data());
}
