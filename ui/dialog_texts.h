// The texts and captions of the setup's message boxes, word for word.
#pragma once

constexpr char warningCaption[] = "Warning..!";
constexpr char errorCaption[] = "Error..!";
constexpr char finishCaption[] = "Finish..!";

constexpr char overwriteQuestion[] =
    "Previous Vorlenn has installed in this directory.\nDo you really want to overwrite?";
constexpr char olderVersionQuestion[] =
    "Older version of Vorlenn detected.\nIf you continue, setup will remove it.\n\n"
    "If you choose NO, setup will be canceled.\nYou can backup your previous version "
    "manually,\nand run this setup again anytime.\n\nDo you want to continue?";
constexpr char notEmptyQuestion[] =
    "This is not an empty directory.\nDo you want to install to this directory anyway?";
constexpr char decompressionError[] = "Can not decompress file!\nThe source file maybe damage.";
constexpr char shortcutWarning[] =
    "Setup can not create shortcut in your Start Menu!\nYou should create it manually.";
// Refusals of a path that would not fit the 260-character path buffers.
constexpr char directoryTooLong[] =
    "The install directory is too long!\nPlease choose a shorter path.";
constexpr char browsedFolderTooLong[] =
    "The path of the selected folder is too long!\nPlease choose a shorter path.";

constexpr char finishFormat[] =
    "%s has successfully\ninstalled to your computer.\nDo you want to launch the program now?";
constexpr char titlePrefix[] = "Installing ";
constexpr char browseTitleFormat[] = "Select directory for %s:";
