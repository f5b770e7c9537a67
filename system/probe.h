// What already lives in a chosen install directory, told from the installed
// program file and the product's ini file.
#pragma once

enum ProbeResult {
    ProbeNoProgram = 1,        // no "vorlenn.exe" in the directory
    ProbeCurrentRelease = -1,  // the ini carries this release's mark
    ProbeOlderGeneration = -2, // the ini carries the older generation's mark
    ProbeUnmarkedProgram = -3, // the program is there, but neither mark (or no ini)
};

int probeInstallation(const char* dir);
