#pragma once

#include "HVError.h"

#include <optional>
#include <string>

// A folder only we can enter, for downloads that must not land over a local file: under
// $XDG_RUNTIME_DIR when that is a real 0700 folder of ours, else made afresh with mkdtemp in
// the temporary folder (once per process). Nothing at a guessable path is trusted before it is
// checked, so another user cannot plant a link there to redirect a download.
std::optional<std::string> HVPrivateDownloadDirectory(HVError* error = nullptr);

// The node's own 0700 folder below it, named by the node's unique id; refused when something
// other than a folder of ours is already there.
std::optional<std::string> HVPrivateDownloadDirectoryForNode(const std::string& uuid,
                                                             HVError* error = nullptr);
