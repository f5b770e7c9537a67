// The product's entry in the system's list of uninstallable programs.
#pragma once

// Parent of the product's uninstall key under HKEY_LOCAL_MACHINE, ending with
// a backslash; tests may point it at a scratch key.
extern const char* uninstallKeyBase;

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
