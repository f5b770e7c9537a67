// zuq setup PRODUCT: a product's setup program from its product file and its
// files, made from the stub that zuq carries. Every check comes before
// anything is written, and the program is written to a temporary file that
// replaces the output only at the end: a refused or failed build leaves no
// file behind.
#include "tools/zuq/archive_file.h"
#include "tools/zuq/commands.h"
#include "tools/zuq/setup_builder.h"
#include "tools/zuq/stubs/stubs.h"

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace fs = std::filesystem;

namespace {

struct SetupOptions {
    std::string product;
    std::string output;
    std::string arch; // empty: i686, and a --stub of either machine
    std::string files;
    std::string stub;
    bool fast = false;
    unsigned threads = threadsPerCore();
};

std::vector<std::uint8_t> stubBytes(const SetupOptions& options) {
    const StubArch wanted = options.arch == "x86_64" ? StubArch::x86_64 : StubArch::i686;
    if (options.stub.empty()) {
        const std::span<const std::uint8_t> carried = carriedStub(wanted);
        if (carried.empty()) {
            throw SetupError(std::string("this zuq carries no ") + archName(wanted) +
                             " stub (it was built before the stubs); build it with "
                             "scripts/build, or name a stub with --stub");
        }
        return {carried.begin(), carried.end()};
    }
    std::ifstream in(options.stub, std::ios::binary);
    if (!in) {
        throw SetupError("cannot read the stub " + options.stub);
    }
    std::vector<std::uint8_t> stub{std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>()};
    if (!options.arch.empty() && stubArch(stub) != wanted) {
        throw SetupError("the stub " + options.stub + " is an " + archName(stubArch(stub)) +
                         " program, not " + archName(wanted));
    }
    return stub;
}

fs::path outputPath(const SetupOptions& options, const ProductFile& product) {
    if (!options.output.empty()) {
        return options.output;
    }
    if (!product.output.empty()) {
        return product.output;
    }
    return product.path.parent_path() / "setup.exe";
}

// A setup program is run where it is written, directly or through Wine's
// binfmt handler: whoever may read it may also run it, as a linker's output.
// On Windows the bits mean nothing, and a file system without them is left
// as it is.
void markExecutable(const fs::path& file) {
    std::error_code error;
    const fs::perms now = fs::status(file, error).permissions();
    if (error) {
        return;
    }
    fs::perms add = fs::perms::none;
    for (const auto& [read, run] : {std::pair{fs::perms::owner_read, fs::perms::owner_exec},
                                    std::pair{fs::perms::group_read, fs::perms::group_exec},
                                    std::pair{fs::perms::others_read, fs::perms::others_exec}}) {
        if ((now & read) != fs::perms::none) {
            add |= run;
        }
    }
    fs::permissions(file, add, fs::perm_options::add, error);
}

void writeProgram(const fs::path& output, const std::vector<std::uint8_t>& program) {
    const fs::path temporary = fs::path(output).concat(".partial");
    std::error_code error;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw SetupError("cannot create " + bytesOf(temporary));
        }
        out.write(reinterpret_cast<const char*>(program.data()),
                  static_cast<std::streamsize>(program.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, error);
            throw SetupError("cannot write " + bytesOf(output) + ": the disk may be full");
        }
    }
    markExecutable(temporary);
    fs::rename(temporary, output, error);
    if (error) {
        fs::remove(temporary, error);
        throw SetupError("cannot replace " + bytesOf(output));
    }
}

int runSetup(const SetupOptions& options) {
    ProductFile product;
    ProductReport report;
    const bool read = readProductFile(options.product, product, report);
    for (const std::string& note : report.notes) {
        ::note(note);
    }
    if (!read) {
        for (const std::string& error : report.errors) {
            complain(error);
        }
        return exitUsage;
    }
    if (!options.files.empty()) {
        product.files = options.files;
    }
    const std::vector<std::uint8_t> stub = stubBytes(options);
    findSettingsRecord(stub); // a stub of another layout is refused before the packing
    if (!fs::is_directory(product.files)) {
        throw SetupError("the files folder " + bytesOf(product.files) + " does not exist");
    }
    const fs::path output = outputPath(options, product);
    const fs::path temporary = fs::path(output).concat(".partial");
    const Collection files =
        collectFiles(product.files, defaultInstallDir(product).size(), {output, temporary});
    if (!reportCollection(files)) {
        return exitUsage;
    }
    checkProductFiles(product, files);
    const SetupBuild build = buildSetup(
        product, files, stub, options.fast ? PackLevel::fast : PackLevel::strong, options.threads);
    writeProgram(output, build.program);
    std::printf("wrote %s: %s setup of %s, %llu files, %llu bytes\n", bytesOf(output).c_str(),
                archName(stubArch(stub)), product.name.c_str(),
                static_cast<unsigned long long>(build.totals.entries),
                static_cast<unsigned long long>(build.program.size()));
    return exitSuccess;
}

// Refusals end the run with a message and exit code 2.
int runSetupCommand(const SetupOptions& options) {
    try {
        return runSetup(options);
    } catch (const SetupError& e) {
        complain(e.what());
        return exitUsage;
    }
}

const CommandText setupText = {
    "setup",
    "Build the setup program of a product: its product file and files in, a finished "
    "setup.exe out.",
    R"(The product file (TOML):
  name = "Quillmoran"                     # Start Menu group, shortcuts, uninstall entry
  version-caption = "Quillmoran version 2.1"  # title: "Installing " + this
  folder = "Quillmoran"                   # last part of the default directory
  program = "vorlenn"                     # the files must hold vorlenn.exe
  default-parent-dir = 'c:\program files' # optional, this is the default
  desktop-icon = true                     # optional: desktop box ticked
  files = "files"                         # optional: the files, relative to this file
  output = "quillmoran-setup.exe"         # optional; -o wins
  [uninstall]                             # optional: without it, no uninstall entry
  enabled = true
  switch = "/uninstall"                   # at most 11 characters
  icon-index = 1
  [help]                                  # optional: without it, no help shortcut
  enabled = true
  file = "vorlenn.hlp"                    # must be among the files
  shortcut-name = "Quillmoran Help.lnk"
  [setup]                                 # optional: the setup program's own file
  icon = "setup.ico"                      # replaces the setup's icon
  version = "2.1.0.0"
  company = "Example Software Ltd"
  description = "Quillmoran Setup"
The files are packed as zuq pack packs them. The number of files the setup
expects is the number packed.
Exit codes: 0 built, 2 the product file, the files or the stub cannot make a
setup (nothing is written).)"};

} // namespace

void addSetupCommand(CLI::App& app) {
    auto [command, options] = addCommand<SetupOptions>(app, setupText, runSetupCommand);
    command->add_option("PRODUCT", options->product, "product.toml, or a folder holding one")
        ->required();
    command->add_option("-o,--output", options->output,
                        "Setup program to write; default the product file's output key, else "
                        "setup.exe beside the product file");
    command
        ->add_option("--arch", options->arch,
                     "Stub to build from: i686 (the default; runs on every Windows) or x86_64")
        ->check(CLI::IsMember({"i686", "x86_64"}));
    command->add_option("--files", options->files,
                        "Folder of the files to install, instead of the product file's files key");
    command->add_option("--stub", options->stub,
                        "Build from this stub instead of the one zuq carries");
    command->add_flag("--fast", options->fast, "Faster, slightly weaker compression");
    addThreadsOption(*command, options->threads, packThreadsHelp);
}
