// zuq on a disk that fills up. extract: the run fails, the message names the
// file, and the partly written file is gone. pack: no half archive is left,
// and an archive that was there before is kept as it was.
#ifndef _WIN32

#include "tests/support/bytes.h"
#include "tests/support/archive_builder.h"
#include "tests/support/lh5_stream.h"
#include "tests/support/scratch_dir.h"
#include "tests/unit/faults/child_process.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string contents(const std::string& path) {
    Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

constexpr std::uint64_t noLimit = ~std::uint64_t{0};

// Runs zuq with a file size limit, its output into out and err; returns its
// exit code, or -1 when it did not exit normally.
int zuqWithWriteLimit(std::uint64_t limit, const std::vector<std::string>& args,
                      const std::string& out, const std::string& err) {
    pid_t child = fork();
    if (child == 0) {
        if (limit != noLimit) {
            limitFileSize(limit);
        }
        int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(outFd, 1);
        dup2(errFd, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(QM_ZUQ_PATH));
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(QM_ZUQ_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace

TEST(ZuqDiskFault, ExtractIntoAFullDiskNamesTheFileAndLeavesNoPart) {
    ScratchDir scratch;
    Bytes big = noise(120000, 12345);
    for (std::uint32_t method : {builderStored, builderCompressed}) {
        SCOPED_TRACE(method == builderStored ? "stored" : "compressed");
        Bytes archive;
        appendEntry(archive, "readme.txt", builderStored, text("small"), 5);
        appendEntry(archive, "templates\\Big One\\big.bmp", method,
                    method == builderStored ? big : literalStream(big),
                    static_cast<std::uint32_t>(big.size()));
        appendEntry(archive, "after.txt", builderStored, text("a"), 1);
        std::string archivePath = hostPath(scratch.join("payload.zuq"));
        writeFile(archivePath, archive);
        std::string dir = hostPath(scratch.join("out"));
        std::string err = hostPath(scratch.join("zuq.err"));

        int code = zuqWithWriteLimit(50000, {"extract", archivePath, dir},
                                     hostPath(scratch.join("zuq.out")), err);
        EXPECT_EQ(code, 1);
        std::string message = contents(err);
        EXPECT_NE(message.find("templates\\Big One\\big.bmp"), std::string::npos) << message;
        EXPECT_NE(message.find("write failed"), std::string::npos) << message;
        EXPECT_EQ(contents(scratch.join("out\\readme.txt")), "small");
        EXPECT_FALSE(fileExists(scratch.join("out\\templates\\Big One\\big.bmp")));
        EXPECT_FALSE(fileExists(scratch.join("out\\after.txt")));
    }
}

TEST(ZuqDiskFault, PackIntoAFullDiskLeavesNoHalfArchive) {
    ScratchDir scratch;
    std::string source = scratch.join("product");
    std::filesystem::create_directories(hostPath(source + "\\templates\\Big One"));
    writeFile(source + "\\readme.txt", text("small"));
    // Noise is stored as it is: far more than the limit lets through.
    writeFile(source + "\\templates\\Big One\\big.bmp", noise(120000, 12345));
    std::string outDir = scratch.join("out");
    std::filesystem::create_directory(hostPath(outDir));
    std::string archive = hostPath(outDir + "\\payload.zuq");
    std::string out = hostPath(scratch.join("zuq.out"));
    std::string err = hostPath(scratch.join("zuq.err"));
    std::vector<std::string> pack = {"pack", hostPath(source), archive};

    EXPECT_EQ(zuqWithWriteLimit(50000, pack, out, err), 2) << contents(err);
    EXPECT_NE(contents(err).find("payload.zuq"), std::string::npos) << contents(err);
    EXPECT_EQ(countTreeEntries(outDir), 0) << "neither the archive nor a part of it";

    writeFile(archive, text("the archive of an earlier pack"));
    EXPECT_EQ(zuqWithWriteLimit(50000, pack, out, err), 2) << contents(err);
    EXPECT_EQ(readFile(archive), text("the archive of an earlier pack"));
    EXPECT_EQ(countTreeEntries(outDir), 1);

    // Without the limit the same pack goes through and replaces it.
    EXPECT_EQ(zuqWithWriteLimit(noLimit, pack, out, err), 0) << contents(err);
    EXPECT_EQ(zuqWithWriteLimit(noLimit, {"test", "-q", archive}, out, err), 0) << contents(err);
    EXPECT_EQ(countTreeEntries(outDir), 1);
}

TEST(ZuqDiskFault, PackRefusesADeviceNameBeforeWritingAnything) {
    // On Linux "nul.bmp" is an ordinary file; the setup could not install it.
    ScratchDir scratch;
    std::string source = scratch.join("product");
    std::filesystem::create_directories(hostPath(source + "\\templates"));
    writeFile(source + "\\readme.txt", text("small"));
    writeFile(source + "\\templates\\nul.bmp", text("BM"));
    std::string archive = hostPath(scratch.join("payload.zuq"));
    std::string err = hostPath(scratch.join("zuq.err"));

    EXPECT_EQ(zuqWithWriteLimit(noLimit, {"pack", hostPath(source), archive},
                                hostPath(scratch.join("zuq.out")), err),
              1);
    EXPECT_NE(contents(err).find("templates\\nul.bmp"), std::string::npos) << contents(err);
    EXPECT_NE(contents(err).find("device"), std::string::npos) << contents(err);
    EXPECT_FALSE(fileExists(archive));
}

#endif
