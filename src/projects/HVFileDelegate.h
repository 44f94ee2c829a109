#pragma once

#include <optional>

class HVError;
class HVFile;

// The project window, as the file tree sees it. Every call comes on the main thread; the
// defaults mean "not answered".
class HVFileDelegate {
public:
    virtual ~HVFileDelegate() = default;

    // Redisplay the node (with its children for a directory; everything for the root).
    virtual void fileNeedsRefresh(HVFile& /*file*/) {}
    // The file left the tree: close its tab and redisplay the parent.
    virtual void removedChild(HVFile& /*file*/, HVFile& /*parent*/) {}
    // A duplicate was made: start renaming the copy.
    virtual void wasDuplicatedToFile(HVFile& /*file*/, HVFile& /*copy*/) {}
    // A download has finished: open the file.
    virtual void contentBecameAvailable(HVFile& /*file*/) {}
    // Whether a saved file goes to the server.
    virtual std::optional<bool> fileShouldUpload(HVFile& /*file*/) { return std::nullopt; }
    // Whether a download may overwrite the file's local copy.
    virtual std::optional<bool> downloadShouldOverwriteLocalFile(HVFile& /*file*/) {
        return std::nullopt;
    }
    // False: not answered.
    virtual bool presentErrorAlert(const HVError& /*error*/) { return false; }
};
