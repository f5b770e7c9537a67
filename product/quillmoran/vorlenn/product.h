// What the product program knows about its own installation: the names its
// setup gives it (product.toml says the same), and the ini mark, fixed since
// setup programs recognise the release by it.
#pragma once

#include <windows.h>

#define QM_PRODUCT_NAME "Quillmoran"
#define QM_PROGRAM_BASE "vorlenn"
#define QM_HELP_FILE "vorlenn.hlp"
#define QM_UNINSTALL_SWITCH "/uninstall"

#define VORLENN_INI_FILE "vorlenn.ini"
#define VORLENN_INI_SECTION "Quillmoran"
#define VORLENN_INI_KEY "UseMMX"

// Resource ids of the program file.
#define IDI_PROGRAM 1
#define IDI_UNINSTALL 2
// Names of the installed template files, one a line.
#define IDR_INSTALLED_FILES 101

extern char programDir[MAX_PATH];

// Fills programDir: the folder of the running program, with a trailing
// backslash. Returns 0 when the path does not fit.
int findProgramDir();

// Locks the list of installed template names; size 0 when it is missing.
const char* installedFiles(DWORD* size);

// Asks, then removes what the setup made. Returns 1 when removed, 0 when
// the user declined.
int runUninstall();
