// Recursive emptying of a folder: every file and sub-folder below it goes,
// except folders whose names start with a dot (and so whatever holds them).
#pragma once

enum EmptyDirectoryResult {
    EmptyNotListed = 0,  // the folder was entered but could not be listed
    EmptyNotEntered = 1, // the folder cannot be made current: nothing to do
    // Otherwise the result of closing the listing: non-zero on success.
};

// Empties path and, with removeSelf set, removes path itself. The current
// directory is the same afterwards as before.
int emptyDirectory(const char* path, int removeSelf);
