#pragma once

#include "HVError.h"

#include <string>

// Moves a file or folder (a link itself, not its target) into the user's trash in the shared
// freedesktop.org layout (files/ and info/*.trashinfo), so that file managers can show and
// restore it: the home trash for files on its device, else the trash at the top of the file's own
// mount. Never copies: when no trash on the file's device can be used, it answers false with
// the reason.
bool HVMoveToTrash(const std::string& path, HVError* error = nullptr);

// $XDG_DATA_HOME/Trash, by default ~/.local/share/Trash.
std::string HVHomeTrashDirectory();
