#pragma once

#include "HVError.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HVFileRepresentation;

// The tree node that holds a representation. Every call comes on the main thread. The
// defaults mean "not answered".
class HVFileRepresentationDelegate {
public:
    using Representations = std::vector<std::shared_ptr<HVFileRepresentation>>;
    // What a rename or move hands back with its answer.
    using Context = std::shared_ptr<void>;

    virtual ~HVFileRepresentationDelegate() = default;

    // The node's local path.
    virtual std::string pathForFileRepresentation(const HVFileRepresentation&) { return {}; }
    // Where a download of the node goes.
    virtual std::string pathForRemoteFileRepresentation(const HVFileRepresentation&) { return {}; }
    // The node's path below the site's root, without a leading "/": the remote path.
    virtual std::string pathFromRootForFileRepresentation(const HVFileRepresentation&) {
        return {};
    }
    virtual std::string pathFromRootForPath(const std::string& path) { return path; }
    // The node's file type; -1: not answered.
    virtual int typeForFileRepresentation(const HVFileRepresentation&) { return -1; }

    virtual void didLoadChildren(HVFileRepresentation&, const Representations&) {}
    virtual void didReloadChildren(HVFileRepresentation&, const Representations&) {}
    virtual void didDelete(HVFileRepresentation&, bool /*success*/) {}
    virtual void didMoveToTrash(HVFileRepresentation&, bool /*success*/) {}
    // The copy, or none when duplicating failed.
    virtual void didDuplicate(HVFileRepresentation&, std::shared_ptr<HVFileRepresentation>) {}
    virtual void didMove(HVFileRepresentation&, bool /*success*/, const Context&) {}
    virtual void didRename(HVFileRepresentation&, bool /*success*/, const Context&) {}
    // A file-system error met by a local operation.
    virtual void hadError(HVFileRepresentation&, const HVError&) {}
    // A download has finished.
    virtual void contentBecameAvailable(HVFileRepresentation&) {}
    // An upload or a directory creation has finished.
    virtual void contentChangeFinished(HVFileRepresentation&) {}
    // A download, an upload or a directory creation failed; the queue has reported the error
    // too. Without this a failed upload would leave its document waiting for ever.
    virtual void contentTransferFailed(HVFileRepresentation&, const HVError&) {}
};

// One copy of a file or directory of a site: on the local disk or on the server.
class HVFileRepresentation : public std::enable_shared_from_this<HVFileRepresentation> {
public:
    // From the mode's file-type field; callers tell only Directory from the rest.
    enum FileType : int {
        RegularFile = 0,
        Directory = 1,
        SymbolicLink = 2,
        FIFO = 3,
        CharacterDevice = 4,
        BlockDevice = 5,
        Socket = 6
    };
    using Context = HVFileRepresentationDelegate::Context;

    virtual ~HVFileRepresentation();

    virtual bool isLocal() const = 0;

    const std::string& name() const { return m_name; }
    const std::optional<std::string>& owner() const { return m_owner; }
    const std::optional<std::string>& group() const { return m_group; }
    std::uint16_t mode() const { return m_mode; }
    // Whole seconds since 1970.
    std::optional<std::int64_t> modificationDate() const { return m_modificationDate; }
    std::uint64_t size() const { return m_size; }
    bool loaded() const { return m_loaded; }
    FileType fileType() const;
    // "--" for a directory, else "1023 B", "2 KB", "1.5 MB", ...
    std::string sizeString() const;

    std::shared_ptr<HVFileRepresentationDelegate> delegate() const { return m_delegate.lock(); }
    // Setting a delegate loads the attributes.
    void setDelegate(std::weak_ptr<HVFileRepresentationDelegate> delegate);

    virtual bool loadFileAttributes();
    virtual bool loadChildren();
    virtual bool reloadChildren();
    // delete
    virtual void remove();
    virtual bool moveToPath(const std::string& path, Context context);
    virtual void rename(const std::string& newName, Context context);

    static std::string formattedStringForSize(std::uint64_t size);
    // "-rw-r--r-- " from the mode bits, as strmode writes it.
    static std::string stringFromMode(std::uint16_t mode);
    static std::uint16_t modeFromString(const std::string& text);

protected:
    explicit HVFileRepresentation(std::string name);

    std::string m_name;
    std::optional<std::string> m_owner;
    std::optional<std::string> m_group;
    std::uint16_t m_mode = 0;
    std::optional<std::int64_t> m_modificationDate;
    std::uint64_t m_size = 0;
    bool m_loaded = false;
    std::weak_ptr<HVFileRepresentationDelegate> m_delegate;
};
