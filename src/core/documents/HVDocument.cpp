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

bool HVDocument::writeToURL(const std::string& path, const std::string& type, HVError* error) {
    auto data = dataOfType(type, error);
    if (!data)
        return false;
    return HVFileSystem::writeFileAtomically(path, *data, error);
}

bool HVDocument::saveToURL(const std::string& path, const std::string& type,
                           SaveOperation operation, HVError* error) {
    if (!writeToURL(path, type, error))
        return false;
    if (operation == SaveAsOperation) {
        setFileName(path);
        setFileType(type);
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
