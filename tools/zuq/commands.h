// The zuq subcommands. Each adds itself to the application; its callback
// ends the program's run with an exit code by throwing CLI::RuntimeError
// when the code is not 0.
#pragma once

#include "tools/zuq/exit_codes.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <utility>
#include <string>

void addExtractCommand(CLI::App& app);
void addPackCommand(CLI::App& app);
void addListCommand(CLI::App& app);
void addTestCommand(CLI::App& app);
void addSetupCommand(CLI::App& app);

// --threads N: at least 1, default one per core. help says what runs side by
// side and that the result does not depend on the number.
void addThreadsOption(CLI::App& command, unsigned& threads, const char* help);

inline constexpr const char* packThreadsHelp =
    "Files compressed side by side; the archive is the same for any number";

// Ends the subcommand with the given exit code.
[[noreturn]] void exitWith(int code);

// What a subcommand's help says: its name, what it does, and a footer that
// tells its exit codes.
struct CommandText {
    const char* name;
    const char* description;
    const char* footer;
};

// Adds a subcommand whose run returns its exit code.
CLI::App* addCommand(CLI::App& app, const CommandText& text, std::function<int()> run);

// The same for a run over an options record, which the command's options
// fill in: returns the command and the record.
template <typename Options>
std::pair<CLI::App*, Options*> addCommand(CLI::App& app, const CommandText& text,
                                          int (*run)(const Options&)) {
    auto options = std::make_shared<Options>();
    CLI::App* command = addCommand(app, text, [options, run] { return run(*options); });
    return {command, options.get()};
}

// The ARCHIVE argument of list, test and extract: an existing archive file.
CLI::Option* addArchiveArgument(CLI::App* command, std::string& path);
