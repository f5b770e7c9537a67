#include "system/empty_directory.h"

#include <windows.h>

#include "system/path_text.h"

namespace {

enum ClearResult {
    ClearAborted = 0, // the listing's folder could not be made current again
    ClearDone = 1,
};

int clearListing(HANDLE listing, WIN32_FIND_DATAA* entry);

bool isDirectory(const WIN32_FIND_DATAA* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A directory link (junction or symbolic link) is removed as a link; what it
// points at is not ours to clear.
bool isLink(const WIN32_FIND_DATAA* entry) {
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Clears and removes one sub-directory of the current directory. A folder
// that cannot be entered, or whose path would not fit, is skipped: listing
// the current directory in its place would recurse without end.
int clearSubdirectory(const char* name) {
    char parent[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, parent);
    if (length == 0 || length >= MAX_PATH) {
        return ClearAborted;
    }
    char sub[MAX_PATH];
    if (copyText(sub, MAX_PATH, parent) != TextFits ||
        appendBackslashIfMissing(sub, MAX_PATH) != TextFits ||
        appendText(sub, MAX_PATH, name) != TextFits) {
        return ClearDone;
    }
    if (!SetCurrentDirectoryA(sub)) {
        return ClearDone;
    }
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA("*.*", &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        clearListing(listing, &entry);
        FindClose(listing);
    }
    // Names still to come in the parent's listing are relative to the
    // parent: without getting back there, stop rather than touch the wrong files.
    if (!SetCurrentDirectoryA(parent)) {
        return ClearAborted;
    }
    RemoveDirectoryA(sub);
    return ClearDone;
}

// Deletes what the listing names, relative to the current directory, starting
// with the entry already read. Any failure to advance ends the listing.
int clearListing(HANDLE listing, WIN32_FIND_DATAA* entry) {
    do {
        if (!isDirectory(entry)) {
            DeleteFileA(entry->cFileName);
        } else if (entry->cFileName[0] == '.') {
            continue;
        } else if (isLink(entry)) {
            RemoveDirectoryA(entry->cFileName);
        } else if (clearSubdirectory(entry->cFileName) == ClearAborted) {
            return ClearAborted;
        }
    } while (FindNextFileA(listing, entry));
    return ClearDone;
}

} // namespace

int emptyDirectory(const char* path, int removeSelf) {
    char remembered[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, remembered);
    if (length == 0 || length >= MAX_PATH) {
        return EmptyNotListed;
    }
    if (!SetCurrentDirectoryA(path)) {
        return EmptyNotEntered;
    }
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA("*.*", &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        SetCurrentDirectoryA(remembered);
        return EmptyNotListed;
    }
    clearListing(listing, &entry);
    int closed = FindClose(listing);
    SetCurrentDirectoryA(remembered);
    if (removeSelf) {
        RemoveDirectoryA(path);
    }
    return closed;
}
