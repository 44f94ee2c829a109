#include "HVDocument.h"

#include "HVDocumentController.h"
#include "HVFileSystem.h"
#include "HVUserInterface.h"

namespace {

int nextUntitledNumber() {
    static int number = 0;
    return ++number;
}

} // namespace

HVDocument::HVDocument() = default;

HVDocument::~HVDocument() = default;

void HVDocument::setFileName(const std::string& fileName) {
    m_fileName = fileName;
}

std::string HVDocument::displayName() const {
    if (!m_fileName.empty())
        return HVFileSystem::lastPathComponent(m_fileName);
    auto* self = const_cast<HVDocument*>(this);
    if (self->m_untitledNumber == 0)
        self->m_untitledNumber = nextUntitledNumber();
    return m_untitledNumber == 1 ? "Untitled" : "Untitled " + std::to_string(m_untitledNumber);
}

void HVDocument::updateChangeCount(ChangeKind change) {
    switch (change) {
    case ChangeDone:
    case ChangeRedone:
        ++m_changeCount;
        break;
    case ChangeUndone:
        --m_changeCount;
        break;
    case ChangeCleared:
    case ChangeReadOtherContents:
        m_changeCount = 0;
        break;
    }
}

bool HVDocument::readFromURL(const std::string&, const std::string&, HVError* error) {
    HVSetError(error, HVError(HVPlatformErrorDomain, HVFileReadUnknownError,
                              "This kind of document cannot be read"));
    return false;
}

std::optional<std::string> HVDocument::dataOfType(const std::string&, HVError* error) {
    HVSetError(error, HVError(HVPlatformErrorDomain, HVFileWriteUnknownError,
                              "This kind of document cannot be written"));
    return std::nullopt;
}

bool HVDocument::fileChangedOnDisk() const {
    if (!m_fileIdentity || m_fileName.empty())
        return false;
    auto current = HVFileSystem::identityOfFile(m_fileName);
    return current && *current != *m_fileIdentity;
}

bool HVDocument::writeToURL(const std::string& path, const std::string& type, HVError* error) {
    auto data = dataOfType(type, error);
    if (!data)
        return false;
    HVFileIdentity written;
    if (!HVFileSystem::writeFileAtomically(path, *data, error, &written))
        return false;
    if (path == m_fileName)
        m_fileIdentity = written;
    return true;
}

bool HVDocument::saveToURL(const std::string& path, const std::string& type,
                           SaveOperation operation, HVError* error) {
    if (!writeToURL(path, type, error))
        return false;
    if (operation == SaveAsOperation) {
        setFileName(path);
        setFileType(type);
        m_fileIdentity = HVFileSystem::identityOfFile(path);
    }
    if (operation != SaveToOperation)
        updateChangeCount(ChangeCleared);
    return true;
}

void HVDocument::saveDocument(std::function<void(bool)> completion) {
    if (m_fileName.empty()) {
        saveDocumentAs(std::move(completion));
        return;
    }
    if (!fileChangedOnDisk()) {
        reallySaveDocument(std::move(completion));
        return;
    }
    // The last guard against overwriting another program's work, whatever watches the file.
    HVError question(HVErrorDomain, 5,
                     "The file has been changed by another application since it was opened.",
                     "\u201C" + displayName() +
                         "\u201D was changed on disk. Save Anyway replaces that version with "
                         "yours; Revert shows the file as it is on disk and drops your changes.",
                     {"Save Anyway", "Revert", "Cancel"});
    question.setUserInfoValue(HVFilePathErrorKey, m_fileName);
    HVUserInterface::shared().presentError(
        question, presentationContext(),
        [this, completion = std::move(completion)](std::size_t option) mutable {
            if (option == 0) {
                reallySaveDocument(std::move(completion));
                return;
            }
            if (option == 1) {
                HVError error;
                if (!revertToSaved(&error))
                    HVUserInterface::shared().presentError(error, presentationContext(), nullptr);
            }
            if (completion)
                completion(false);
        });
}

void HVDocument::reallySaveDocument(std::function<void(bool)> completion) {
    HVError error;
    bool saved = saveToURL(m_fileName, m_fileType, SaveOperationSave, &error);
    if (!saved)
        HVUserInterface::shared().presentError(error, presentationContext(), nullptr);
    if (completion)
        completion(saved);
}

void HVDocument::saveDocumentAs(std::function<void(bool)> completion) {
    HVUserInterface::SavePanelOptions options;
    options.fileName = displayName();
    if (!m_fileName.empty())
        options.directory = HVFileSystem::deletingLastPathComponent(m_fileName);
    HVUserInterface::shared().runSavePanel(
        options, presentationContext(),
        [this, completion = std::move(completion)](std::optional<std::string> path) {
            if (!path) {
                if (completion)
                    completion(false);
                return;
            }
            HVError error;
            bool saved = saveToURL(*path, m_fileType, SaveAsOperation, &error);
            if (!saved)
                HVUserInterface::shared().presentError(error, presentationContext(), nullptr);
            if (completion)
                completion(saved);
        });
}

bool HVDocument::revertToSaved(HVError* error) {
    if (m_fileName.empty()) {
        HVSetError(error,
                   HVError(HVPlatformErrorDomain, ENOENT, "The document has no file to revert to"));
        return false;
    }
    if (!readFromURL(m_fileName, m_fileType, error))
        return false;
    updateChangeCount(ChangeCleared);
    return true;
}

void HVDocument::canClose(std::function<void(bool)> completion) {
    if (!isDocumentEdited()) {
        completion(true);
        return;
    }
    HVError question(HVGeneralErrorDomain, 0,
                     "Do you want to save the changes you made in the document \u201C" +
                         displayName() + "\u201D?",
                     "Your changes will be lost if you don\u2019t save them.",
                     {"Save", "Cancel", "Don't Save"});
    HVUserInterface::shared().presentError(
        question, presentationContext(), [this, completion](std::size_t option) {
            switch (option) {
            case 0:
                saveDocument([completion](bool saved) { completion(saved); });
                break;
            case 2:
                completion(true);
                break;
            default:
                completion(false);
                break;
            }
        });
}

void HVDocument::close() {
    if (m_closed)
        return;
    m_closed = true;
    HVDocumentController::sharedController().removeDocument(this);
}
