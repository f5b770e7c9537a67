// The walk of a tree and the writing of its entries, shared by `zuq pack` and
// `zuq setup`.
//
// The order is fixed (in each directory its files by name, then its
// sub-directories by name; names compared without regard to case), and the
// encoder's output depends only on its input, so the same tree always gives
// the same archive.
#include "tools/zuq/pack_tree.h"
#include "tools/zuq/archive_file.h"
#include "tools/zuq/progress.h"

#include "archive/entry.h"
#include "archive/writer.h"
#include "lzh/encoder.h"

#include <algorithm>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

namespace {

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) { return lowerAscii(c); });
    return text;
}

// Names without regard to case first, so that the order is the same on every
// file system; exact bytes break ties.
bool comesBefore(const std::string& a, const std::string& b) {
    const std::string la = lowerAscii(a), lb = lowerAscii(b);
    return la != lb ? la < lb : a < b;
}

bool samePath(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

class Walker {
  public:
    Walker(Collection& found, std::vector<fs::path> excluded)
        : found_(found), excluded_(std::move(excluded)) {}

    // Collects the files below dir; returns whether there was any.
    bool walk(const fs::path& dir, const std::string& prefix) {
        std::vector<std::pair<std::string, fs::directory_entry>> files, dirs;
        std::error_code error;
        for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
            const fs::directory_entry& entry = *it;
            const std::string component = bytesOf(entry.path().filename());
            const std::string name = prefix + component;
            if (component.find('\\') != std::string::npos) {
                // It would read as a folder separator in the archive.
                found_.faults.push_back(name + ": " + nameCheckText(nameBadCharacter));
                continue;
            }
            const fs::file_status status = entry.symlink_status(error);
            if (error) {
                break;
            }
            if (fs::is_symlink(status)) {
                found_.notes.push_back("skipped symbolic link " + name);
            } else if (fs::is_directory(status)) {
                dirs.emplace_back(name, entry);
            } else if (fs::is_regular_file(status)) {
                if (!isExcluded(entry.path())) {
                    files.emplace_back(name, entry);
                }
            } else {
                found_.notes.push_back("skipped " + name + ": not a regular file");
            }
        }
        if (error) {
            found_.faults.push_back("cannot read the directory " + bytesOf(dir) + ": " +
                                    error.message());
            return false;
        }
        const auto byName = [](const auto& a, const auto& b) {
            return comesBefore(a.first, b.first);
        };
        std::sort(files.begin(), files.end(), byName);
        std::sort(dirs.begin(), dirs.end(), byName);
        for (const auto& [name, entry] : files) {
            addFile(name, entry);
        }
        bool any = !files.empty();
        for (const auto& [name, entry] : dirs) {
            if (walk(entry.path(), name + "\\")) {
                any = true;
            } else {
                found_.notes.push_back("skipped empty directory " + name);
            }
        }
        return any;
    }

  private:
    bool isExcluded(const fs::path& path) const {
        return std::any_of(excluded_.begin(), excluded_.end(),
                           [&](const fs::path& e) { return samePath(path, e); });
    }

    void addFile(const std::string& name, const fs::directory_entry& entry) {
        std::error_code error;
        const std::uint64_t size = entry.file_size(error);
        if (error) {
            found_.faults.push_back(name + ": " + error.message());
            return;
        }
        if (size > largestEntryFile) {
            found_.faults.push_back(name + ": 4 GiB or more, larger than an entry can hold");
            return;
        }
        // Windows does not tell such names apart: one file would overwrite the other.
        const auto [previous, fresh] = seenNames_.emplace(lowerAscii(name), name);
        if (!fresh) {
            found_.faults.push_back(name + ": differs from " + previous->second + " only in case");
            return;
        }
        found_.files.push_back({entry.path(), name, size});
    }

    Collection& found_;
    std::vector<fs::path> excluded_;
    std::map<std::string, std::string> seenNames_;
};

void checkNames(Collection& found, std::size_t installDirLength) {
    for (const SourceFile& file : found.files) {
        const int check = checkEntryName(file.name, installDirLength);
        if (check != nameFits) {
            found.faults.push_back(file.name + ": " + nameCheckText(check));
        }
    }
}

bool readWholeFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return false;
    }
    const std::streamoff size = in.tellg();
    if (size < 0) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    return static_cast<bool>(in) || bytes.empty();
}

} // namespace

bool writeEntries(const Collection& found, PackLevel level, std::ostream& out, PackTotals& totals,
                  std::string& fault) {
    std::uint64_t totalBytes = 0;
    for (const SourceFile& file : found.files) {
        totalBytes += file.size;
    }
    ProgressBar bar(found.files.size(), totalBytes);
    const lzh::Effort effort = level == PackLevel::fast ? lzh::Effort::fast : lzh::Effort::strong;
    std::vector<std::uint8_t> data;
    std::uint32_t lastPackedSize = 0;
    for (const SourceFile& file : found.files) {
        // The file about to be packed counts from now on, as in extraction.
        bar.update(totals.entries + 1, totals.bytesIn, file.name);
        if (!readWholeFile(file.path, data)) {
            fault = file.name + ": cannot read the file";
            return false;
        }
        if (data.size() > largestEntryFile) {
            fault = file.name + ": grew to 4 GiB or more while being packed";
            return false;
        }
        std::vector<std::uint8_t> packed;
        if (level != PackLevel::store && !data.empty() && data.size() <= lzh::largestInput) {
            packed = lzh::encode(data, effort);
        }
        const bool compress = !packed.empty() && packed.size() < data.size();
        const std::vector<std::uint8_t>& body = compress ? packed : data;
        const auto bodySize = static_cast<std::uint32_t>(body.size());
        const std::vector<unsigned char> header =
            makeEntryHeader(file.name, compress ? methodCompressed : methodStored, bodySize,
                            static_cast<std::uint32_t>(data.size()));
        totals.bytesOut += header.size() + body.size();
        if (totals.bytesOut + closingPaddingAfter(bodySize) > largestArchive) {
            fault = file.name + ": the archive would grow past 2 GiB, more than the setup reads";
            return false;
        }
        out.write(reinterpret_cast<const char*>(header.data()),
                  static_cast<std::streamsize>(header.size()));
        out.write(reinterpret_cast<const char*>(body.data()),
                  static_cast<std::streamsize>(body.size()));
        lastPackedSize = bodySize;
        ++totals.entries;
        totals.bytesIn += data.size();
    }
    bar.finish();
    if (totals.entries > 0 && closingPaddingAfter(lastPackedSize) > 0) {
        out.put(0);
        ++totals.bytesOut;
    }
    out.flush();
    if (!out) {
        fault = "cannot write the archive";
        return false;
    }
    return true;
}
Collection collectFiles(const fs::path& dir, std::size_t installDirLength,
                        std::vector<fs::path> excluded) {
    Collection found;
    Walker walker(found, std::move(excluded));
    walker.walk(dir, "");
    checkNames(found, installDirLength);
    return found;
}

bool reportCollection(const Collection& found) {
    for (const std::string& skipped : found.notes) {
        note(skipped);
    }
    if (found.faults.empty()) {
        return true;
    }
    for (const std::string& fault : found.faults) {
        complain(fault);
    }
    complain("nothing packed: " + std::to_string(found.faults.size()) +
             " file(s) cannot go into an archive");
    return false;
}
