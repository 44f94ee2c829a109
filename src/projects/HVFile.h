#pragma once

#include <memory>
#include <string>

class HVFileNodeDocument;

// One name at one place in a project's file tree, or a lone file opened outside any project.
// Nodes are shared: the tree holds its children, windows hold the nodes of their documents.
class HVFile : public std::enable_shared_from_this<HVFile> {
public:
    enum FileType { RegularFile = 0, Directory = 1 };

    static std::shared_ptr<HVFile> initWithPath(std::string path,
                                                std::shared_ptr<HVFile> parent = nullptr);
    virtual ~HVFile();

    const std::string& path() const { return m_path; }
    std::string name() const;
    FileType fileType() const;
    std::shared_ptr<HVFile> parent() const { return m_parent.lock(); }
    // Made on first request; names the node for as long as it lives.
    const std::string& uuid() const;
    // The path below the root without a leading "/": the key of per-file settings. The root
    // itself gives "", a path outside the root is returned unchanged.
    std::string pathFromRoot() const;
    std::string pathFromRootForPath(const std::string& path) const;
    // True when this is a directory and the path lies below it.
    bool containsPath(const std::string& path) const;

    HVFileNodeDocument* document() const { return m_document; }
    void setDocument(HVFileNodeDocument* document) { m_document = document; }

    // Whether the content can be read now; a local file always can.
    virtual bool contentAvailable(bool download);
    // The content was changed locally (after a save): a local file has nothing more to do.
    virtual void contentsDidChange();
    // The node was moved or renamed.
    void setPath(std::string path);

protected:
    HVFile(std::string path, std::shared_ptr<HVFile> parent);

private:
    std::string m_path;
    std::weak_ptr<HVFile> m_parent;
    mutable std::string m_uuid;
    HVFileNodeDocument* m_document = nullptr;
};
