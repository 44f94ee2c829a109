#pragma once

#include "HVError.h"
#include "HVFileSystem.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class HVDocumentController;
class HVFileDocument;

// What the desktop's document framework does for every document: a file name and a type, a
// change count, saving (an atomic replacement of the file), reverting, the question before a
// document with unsaved changes closes, and a place in the document controller's list.
class HVDocument {
public:
    enum ChangeKind {
        ChangeDone,
        ChangeUndone,
        ChangeRedone,
        ChangeCleared,
        ChangeReadOtherContents
    };
    enum SaveOperation { SaveOperationSave, SaveAsOperation, SaveToOperation };

    virtual ~HVDocument();
    HVDocument(const HVDocument&) = delete;
    HVDocument& operator=(const HVDocument&) = delete;

    // The path of the document's file; empty for an untitled document.
    const std::string& fileName() const { return m_fileName; }
    virtual void setFileName(const std::string& fileName);
    const std::string& fileType() const { return m_fileType; }
    void setFileType(std::string type) { m_fileType = std::move(type); }
    // The file's name, or "Untitled", "Untitled 2"... for a document without a file.
    std::string displayName() const;

    // The version of the file that the document last read or wrote; none before either.
    const std::optional<HVFileIdentity>& fileIdentity() const { return m_fileIdentity; }
    void setFileIdentity(std::optional<HVFileIdentity> identity) { m_fileIdentity = identity; }
    // Whether another program changed or replaced the file since the document read or wrote
    // it. A file that is gone has not changed: saving brings it back.
    bool fileChangedOnDisk() const;

    virtual bool isDocumentEdited() const { return m_changeCount != 0; }
    virtual void updateChangeCount(ChangeKind change);

    // Reads the document from its file; false with an error when it cannot.
    virtual bool readFromURL(const std::string& path, const std::string& type, HVError* error);
    // The bytes to write; none with an error when there is nothing that can be written.
    virtual std::optional<std::string> dataOfType(const std::string& type, HVError* error);
    // Writes the document to the path (the whole operation, with its bookkeeping).
    virtual bool saveToURL(const std::string& path, const std::string& type,
                           SaveOperation operation, HVError* error);
    // "Save": the file name it has, or the save panel for an untitled document. When another
    // program changed the file since it was read, the user chooses first whether to
    // overwrite it, revert to it, or do nothing. The completion hears whether the document
    // was saved.
    void saveDocument(std::function<void(bool saved)> completion = nullptr);
    // "Save As…": asks for a name first.
    void saveDocumentAs(std::function<void(bool saved)> completion = nullptr);
    bool revertToSaved(HVError* error);

    // The question before closing: with unsaved changes, "Save", "Don't Save" or "Cancel".
    // The completion hears whether the document may close.
    virtual void canClose(std::function<void(bool mayClose)> completion);
    // Closes the document and removes it from the controller's list.
    virtual void close();
    bool isClosed() const { return m_closed; }

    // Expires when the document goes away: work posted for later checks it first.
    std::weak_ptr<void> lifetime() const { return m_lifetime; }

    // The window or sheet a question about this document belongs to.
    virtual const void* presentationContext() const { return this; }

    // How the document controller finds where a path belongs. A window that shows text files
    // answers them; a single file answers itself.
    virtual bool isMultiFile() const { return false; }
    virtual HVDocument* projectDocument() { return nullptr; }
    virtual HVFileDocument* activeDocument() { return nullptr; }
    // Opens the file in this document's window; none with the reason in error when it
    // cannot be read.
    virtual HVFileDocument* openFileAtPath(const std::string&, HVError*) { return nullptr; }
    virtual HVFileDocument* documentForPath(const std::string&) { return nullptr; }
    // A project document answers whether its root holds the path.
    virtual bool canOpenFile(const std::string&) const { return false; }
    // Makes the model of the document's window (its tabs) once, before it is shown.
    virtual void makeWindowControllers() {}

protected:
    HVDocument();
    // Writes bytes atomically; a failure leaves the old file as it was. Writing to the
    // document's own file records the identity of what was written.
    virtual bool writeToURL(const std::string& path, const std::string& type, HVError* error);

private:
    void reallySaveDocument(std::function<void(bool saved)> completion);

private:
    std::string m_fileName;
    std::string m_fileType;
    std::optional<HVFileIdentity> m_fileIdentity;
    int m_changeCount = 0;
    int m_untitledNumber = 0;
    bool m_closed = false;
    std::shared_ptr<void> m_lifetime = std::make_shared<char>(0);
};
