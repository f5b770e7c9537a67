#include "setup/install.h"

#include "archive/extract.h"
#include "setup/settings.h"
#include "setup/state.h"
#include "system/shortcuts.h"
#include "system/uninstall.h"

#include <windows.h>

// Finds and locks the payload archive of the program's own module. A missing
// resource reads as an empty archive: size 0, and the walk ends at once.
static const unsigned char* lockPayload(HGLOBAL* loaded, DWORD* size) {
    *loaded = nullptr;
    *size = 0;
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(payloadResourceId), payloadResourceType);
    if (!found) {
        return nullptr;
    }
    *loaded = LoadResource(nullptr, found);
    const void* archive = *loaded ? LockResource(*loaded) : nullptr;
    if (archive) {
        *size = SizeofResource(nullptr, found);
    }
    return static_cast<const unsigned char*>(archive);
}

static void startProgress() {
    progressMode = 1;
    progressTotal = static_cast<unsigned>(settings.fileCount);
    progressDone = 0;
}

int runInstall() {
    if (installDir[0] == 0) {
        return installFailed;
    }
    failed = 0;

    HGLOBAL loaded;
    DWORD size;
    const unsigned char* archive = lockPayload(&loaded, &size);
    startProgress();
    std::int32_t extracted = extractArchive(archive, size, installDir);
    if (extracted == archiveFailed) {
        failed = 1;
    }
    if (loaded) {
        FreeResource(loaded);
    }

    // More entries than expected are accepted; fewer mean a damaged payload.
    if (failed || extracted < settings.fileCount) {
        failed = 1;
        return installFailed;
    }
    if (createShortcuts() == ShortcutsNoStartMenu) {
        return installNoShortcuts;
    }
    if (settings.makeUninstall) {
        registerUninstall();
    }
    return installDone;
}
