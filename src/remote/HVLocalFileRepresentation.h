#pragma once

#include "HVFileRepresentation.h"

// The copy of a node on the local disk. Works on the file system at once, on the caller's
// (main) thread.
class HVLocalFileRepresentation final : public HVFileRepresentation {
public:
    static std::shared_ptr<HVLocalFileRepresentation>
    initWithPath(const std::string& path,
                 std::weak_ptr<HVFileRepresentationDelegate> delegate = {});

    bool isLocal() const override { return true; }
    bool loadFileAttributes() override;
    // Lists once; children have no delegate.
    bool loadChildren() override;
    bool reloadChildren() override;
    void remove() override;
    bool moveToPath(const std::string& path, Context context) override;
    void rename(const std::string& newName, Context context) override;
    // To the user's freedesktop trash.
    void moveToTrash();
    // A copy beside the file: "name copy.ext", "name copy 1.ext", ...
    void duplicate();

    // The path a copy of the file would get.
    static std::string pathForCopyOfFile(const std::string& path);
    static std::string pathForCopyOfFile(const std::string& path, const std::string& initialSuffix,
                                         bool asDirectory);

private:
    explicit HVLocalFileRepresentation(std::string name, std::string path);
    std::string currentPath() const;
    bool listChildren(bool reload);
    // Used only without a delegate.
    std::string m_path;
};
