#include "setup/state.h"

char installDir[MAX_PATH];
char startDir[MAX_PATH];
int failed;

int progressMode;
unsigned progressTotal;
unsigned progressDone;
char currentFile[MAX_PATH];

HWND mainDialog;
HWND progressPanel;
