// Runs the zuq of the build (QM_ZUQ_PATH) as a user would, for the tests of
// its commands.
#pragma once

#include "tests/support/bytes.h"
#include "tests/support/scratch_dir.h"

#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

struct ZuqRun {
    int exitCode;
    std::string out;
    std::string err;
};

inline std::string inQuotes(const std::string& s) {
    return '"' + s + '"';
}

// Runs zuq in the current directory with the arguments, each quoted; its
// output and errors pass through the files outPath and errPath.
inline ZuqRun runZuq(const std::vector<std::string>& args, const std::string& outPath,
                     const std::string& errPath) {
    std::string command = inQuotes(QM_ZUQ_PATH);
    for (const std::string& arg : args) {
        command += ' ' + inQuotes(arg);
    }
    command += " > " + inQuotes(hostPath(outPath)) + " 2> " + inQuotes(hostPath(errPath));
#ifdef _WIN32
    command = inQuotes(command); // cmd.exe drops the outer quotes of the line
    // Wine's cmd now and then fails to start a program that is there, while
    // the last run's process is still being torn down, and says 9009 ("not
    // recognized"); zuq itself never exits with it, so a few tries tell that
    // from a real failure.
    constexpr int commandNotStarted = 9009;
    int status = commandNotStarted;
    for (int attempt = 0; attempt < 5 && status == commandNotStarted; ++attempt) {
        if (attempt > 0) {
            Sleep(500);
        }
        status = std::system(command.c_str());
    }
#else
    int status = std::system(command.c_str());
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const Bytes out = readFile(outPath);
    const Bytes err = readFile(errPath);
    return {status, std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
}
