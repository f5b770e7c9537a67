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

#ifdef _WIN32
// An inheritable handle to a new file that takes one of zuq's output streams.
inline HANDLE outputFile(const std::string& path) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Started straight, not through cmd.exe: Wine's cmd now and then fails to
// start a program that is there, or to open a redirection, while the last
// run's process is still being torn down. -1 when zuq could not be started.
inline int runWaited(std::string commandLine, const std::string& outPath,
                     const std::string& errPath) {
    HANDLE out = outputFile(outPath);
    HANDLE err = outputFile(errPath);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    const bool started = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                         CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    DWORD status = static_cast<DWORD>(-1);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (HANDLE h : {out, err}) {
        if (h != INVALID_HANDLE_VALUE) {
            CloseHandle(h);
        }
    }
    return static_cast<int>(status);
}
#endif

// Runs zuq in the current directory with the arguments, each quoted; its
// output and errors pass through the files outPath and errPath.
inline ZuqRun runZuq(const std::vector<std::string>& args, const std::string& outPath,
                     const std::string& errPath) {
    std::string command = inQuotes(QM_ZUQ_PATH);
    for (const std::string& arg : args) {
        command += ' ' + inQuotes(arg);
    }
#ifdef _WIN32
    const int status = runWaited(command, outPath, errPath);
#else
    command += " > " + inQuotes(hostPath(outPath)) + " 2> " + inQuotes(hostPath(errPath));
    int status = std::system(command.c_str());
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    const Bytes out = readFile(outPath);
    const Bytes err = readFile(errPath);
    return {status, std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
}
