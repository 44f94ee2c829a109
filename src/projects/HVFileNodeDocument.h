#pragma once

#include <memory>

class HVFile;

// What a file node tells the document that shows it: the file changed or vanished on disk, it
// was moved or renamed, or a change of its content (an upload after a save) has finished.
//
// The node keeps a plain pointer to its document; this base takes it back when the document
// goes, so the node never calls a document that no longer exists.
class HVFileNodeDocument {
public:
    HVFileNodeDocument() = default;
    HVFileNodeDocument(const HVFileNodeDocument&) = delete;
    HVFileNodeDocument& operator=(const HVFileNodeDocument&) = delete;
    virtual ~HVFileNodeDocument();

    virtual void fileContentsChangedExternally() = 0;
    virtual void fileContentsDisappeared() = 0;
    virtual void filePathDidChange() = 0;
    virtual void fileContentChangeFinished() = 0;

private:
    friend class HVFile;
    // The node that shows this document, set by HVFile::setDocument.
    std::weak_ptr<HVFile> m_node;
};
