// zuq: the payload tool. Packs, lists, tests and extracts payload archives
// (extraction runs the same code as the setup program) and builds setup
// programs.
#include "tools/zuq/commands.h"

#include <CLI/CLI.hpp>

#include <string>

void exitWith(int code) {
    throw CLI::RuntimeError(code);
}

CLI::App* addCommand(CLI::App& app, const CommandText& text, std::function<int()> run) {
    CLI::App* command = app.add_subcommand(text.name, text.description);
    command->footer(text.footer);
    command->callback([run = std::move(run)] {
        int code = run();
        if (code != exitSuccess) {
            exitWith(code);
        }
    });
    return command;
}

CLI::Option* addArchiveArgument(CLI::App* command, std::string& path) {
    return command->add_option("ARCHIVE", path, "Payload archive file")
        ->required()
        ->check(CLI::ExistingFile);
}

void addThreadsOption(CLI::App& command, unsigned& threads, const char* help) {
    command.add_option("--threads", threads, help)
        ->check(CLI::Range(1u, 1024u))
        ->capture_default_str();
}

int main(int argc, char** argv) {
    CLI::App app{"zuq: the payload tool of the setup program.\n"
                 "A payload archive is a run of entries, each a file stored or "
                 "compressed with lh5."};
    app.require_subcommand(1);
    app.footer("Examples:\n"
               "  zuq pack product/files payload.zuq\n"
               "  zuq list payload.zuq\n"
               "  zuq test payload.zuq\n"
               "  zuq extract payload.zuq /tmp/quillmoran\n"
               "  zuq setup product/quillmoran -o quillmoran-setup.exe\n"
               "Run zuq COMMAND --help for a command's options.");
    app.set_help_all_flag("--help-all", "Show the help of every command");
    app.set_version_flag("--version", std::string("zuq ") + QM_ZUQ_VERSION);
    addPackCommand(app);
    addExtractCommand(app);
    addListCommand(app);
    addTestCommand(app);
    addSetupCommand(app);
    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& e) {
        return e.get_exit_code();
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return exitUsage;
    }
    return exitSuccess;
}
