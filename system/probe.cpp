#include "system/probe.h"

#include <windows.h>

#include "system/path_text.h"

namespace {

const char programFileName[] = "vorlenn.exe";
const char iniFileName[] = "vorlenn.ini";
const char olderSection[] = "Vorlenn";
const char olderKey[] = "Swap_R&B";
const char currentSection[] = "Quillmoran";
const char currentKey[] = "UseMMX";

// GetPrivateProfileIntA hands back the default when the key is missing.
const INT absentValue = -1;

bool programPresent(const char* dir) {
    char found[256];
    char* filePart = nullptr;
    return SearchPathA(dir, programFileName, nullptr, sizeof found, found, &filePart) != 0;
}

bool iniHasKey(const char* iniPath, const char* section, const char* key) {
    UINT value = GetPrivateProfileIntA(section, key, absentValue, iniPath);
    return value != static_cast<UINT>(absentValue);
}

} // namespace

int probeInstallation(const char* dir) {
    if (!programPresent(dir)) {
        return ProbeNoProgram;
    }
    char iniPath[MAX_PATH];
    // An ini path that does not fit names no file we could read.
    if (copyText(iniPath, MAX_PATH, dir) != TextFits ||
        appendBackslashIfMissing(iniPath, MAX_PATH) != TextFits ||
        appendText(iniPath, MAX_PATH, iniFileName) != TextFits) {
        return ProbeUnmarkedProgram;
    }
    if (iniHasKey(iniPath, olderSection, olderKey)) {
        return ProbeOlderGeneration;
    }
    if (iniHasKey(iniPath, currentSection, currentKey)) {
        return ProbeCurrentRelease;
    }
    return ProbeUnmarkedProgram;
}
