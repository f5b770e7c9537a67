// The install run: extracts the payload archive linked into the program into
// installDir, checks that every expected file came out, and makes the product
// reachable from the shell.
#pragma once

// Results of runInstall.
enum InstallResult {
    installDone = 1,         // files, shortcuts and (when asked for) uninstall entry made
    installFailed = -1,      // no directory, a failed entry, or too few entries
    installNoShortcuts = -2, // files installed, but no Start Menu folder was found
};

// The payload archive: custom resource "ZUQ" 119 of the program's own module.
constexpr int payloadResourceId = 119;
constexpr char payloadResourceType[] = "ZUQ";

// Runs once, synchronously, after the dialog has accepted installDir (which
// then ends with a backslash).
int runInstall();
