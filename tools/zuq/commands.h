// The zuq subcommands. Each adds itself to the application; its callback
// ends the program's run with an exit code by throwing CLI::RuntimeError
// when the code is not 0.
#pragma once

#include "tools/zuq/exit_codes.h"

#include <CLI/CLI.hpp>

void addExtractCommand(CLI::App& app);
void addPackCommand(CLI::App& app);
void addListCommand(CLI::App& app);
void addTestCommand(CLI::App& app);
void addSetupCommand(CLI::App& app);

// --threads N for the commands that pack: at least 1, default one per core.
void addThreadsOption(CLI::App& command, unsigned& threads);

// Ends the subcommand with the given exit code.
[[noreturn]] void exitWith(int code);
