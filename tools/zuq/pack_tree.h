// Packing a tree into payload entries: the walk that finds the files in
// archive order and refuses what the setup cannot install, and the writing of
// their entries. `zuq pack` and `zuq setup` pack the same way.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

struct SourceFile {
    std::filesystem::path path;
    std::string name; // relative to the tree, backslash separated
    std::uint64_t size = 0;
};

// What the walk found: the files to pack, faults that stop the pack, and
// things skipped with a note.
struct Collection {
    std::vector<SourceFile> files;
    std::vector<std::string> faults;
    std::vector<std::string> notes;
};

enum class PackLevel { strong, fast, store };

struct PackTotals {
    std::uint64_t entries = 0;
    std::uint64_t bytesIn = 0;
    std::uint64_t bytesOut = 0;
};

// Collects the files below dir; names must fit below an install directory of
// installDirLength characters. Files equivalent to one of excluded (the
// archive being written) are left out.
Collection collectFiles(const std::filesystem::path& dir, std::size_t installDirLength,
                        std::vector<std::filesystem::path> excluded);

// What --threads gives unless told: one thread per core.
unsigned threadsPerCore();

// Writes the entries of the collected files to out, compressing on threads
// threads (0: threadsPerCore()); the bytes do not depend on it. On
// failure says why in fault: the first fault in archive order. A progress bar
// is drawn on a terminal.
bool writeEntries(const Collection& found, PackLevel level, unsigned threads, std::ostream& out,
                  PackTotals& totals, std::string& fault);

// Prints the walk's notes and faults; returns whether it found no fault.
bool reportCollection(const Collection& found);

// The bytes of a path, as the archive names hold them.
std::string bytesOf(const std::filesystem::path& path);
