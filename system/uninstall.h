// The product's entry in the system's list of uninstallable programs.
#pragma once

#include <windows.h>

// Parent of the product's uninstall key under HKEY_LOCAL_MACHINE, ending with
// a backslash; tests may point it at a scratch key.
extern const char* uninstallKeyBase;

// The registry view of every uninstall key the setup writes or deletes: the
// 32-bit one, in both builds. The shipping setup is 32-bit, and the installed
// program removes its entry through the same view whatever its own bitness,
// so the entry is found wherever setup and program were built. Windows without
// a 64-bit side has one view and ignores the flag.
constexpr REGSAM uninstallKeyView = KEY_WOW64_32KEY;

// Longest uninstall command, terminator included.
constexpr int uninstallCommandCapacity = 256;

enum RegisterResult {
    RegisterFailed = 0, // the key cannot be created, or the command does not fit
    RegisterDone = 1,
};

int registerUninstall();

// "<installDir>\<programBase>.exe" /uninstall-switch, quoted so that a folder
// with spaces names one program; false when it does not fit the capacity.
bool uninstallCommand(char* command);
