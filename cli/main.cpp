// corvane-cli: the headless front end.
#include <unistd.h>

#include <iostream>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    corvane::cli::InstallInterruptHandler();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return corvane::cli::RunCli(args, std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
}
