// Process-wide state shared by the setup's parts. Everything runs on one
// thread; these are plain variables, set and read as the install proceeds.
#pragma once

#include <windows.h>

// Install directory chosen in the dialog; ends with a backslash from the
// moment the dialog accepts it.
extern char installDir[MAX_PATH];
// Current directory at start-up, made current again when the setup ends.
extern char startDir[MAX_PATH];
// Set when the run failed or the user cancelled; no finish prompt then.
extern int failed;

// Progress figures, read by the progress panel at every paint.
extern int progressMode;
extern unsigned progressTotal;
extern unsigned progressDone;
// Full path of the file being written.
extern char currentFile[MAX_PATH];

extern HWND mainDialog;
// The dialog's progress panel; null when extraction runs without a dialog.
extern HWND progressPanel;
