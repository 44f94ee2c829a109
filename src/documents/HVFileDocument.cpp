#include "HVFileDocument.h"

#include "Defaults.h"
#include "HTMLView.h"
#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeIndex.h"
#include "HVDispatcher.h"
#include "HVDocumentFileWatcher.h"
#include "HVFile.h"
#include "HVFileCategories.h"
#include "HVFileDocumentDelegate.h"
#include "HVFileSystem.h"
#include "HVLocalization.h"
#include "HVNotificationCenter.h"
#include "HVPreferences.h"
#include "HVStatusBar.h"
#include "HVTextBuffer.h"
#include "HVTextViewModel.h"
#include "HVUUID.h"
#include "HVUndoManager.h"
#include "HVUserInterface.h"

namespace {

constexpr std::string_view kFilesKey = "files";

// Whether a file opens in the image view: its extension is in an image category, or "file"
// says so. An extension of a text category is text first (SVG is edited as text).
bool isImageFile(const std::string& path) {
    HVFileCategories& categories = HVFileCategories::sharedCategories();
    if (categories.extensionIsType(HVFileSystem::pathExtension(path), HVFileKindText))
        return false;
    return categories.pathIsType(path, HVFileKindImage);
}

} // namespace

void HVFileDocumentDelegate::presentErrorAlert(HVFileDocument* document, const HVError& error,
                                               std::function<void(std::size_t)> completion) {
    HVUserInterface::shared().presentError(error, document, std::move(completion));
}

std::shared_ptr<HVFile>
HVFileDocumentDelegate::backingFileWillChangeToPath(HVFileDocument*, const std::string& path) {
    return HVFile::initWithPath(path);
}

HVFileDocument::HVFileDocument(std::shared_ptr<HVFile> file, HVFileDocumentDelegate* delegate)
    : m_delegate(delegate) {
    setFileType(std::string(HVTextDocumentType));
    setFile(std::move(file));
    if (m_file)
        filePathDidChange();
}

HVFileDocument::~HVFileDocument() {
    HVDocumentFileWatcher::sharedInstance().stopWatchingDocument(*this);
    if (m_file && m_file->document() == this)
        m_file->setDocument(nullptr);
}

void HVFileDocument::setFile(std::shared_ptr<HVFile> file) {
    if (m_file && m_file->document() == this)
        m_file->setDocument(nullptr);
    m_file = std::move(file);
    if (m_file) {
        m_file->setDocument(this);
        m_cachedUUID = m_file->uuid();
    }
}

std::string HVFileDocument::uuid() const {
    if (m_file)
        return m_file->uuid();
    if (m_cachedUUID.empty())
        const_cast<HVFileDocument*>(this)->m_cachedUUID = HVMakeUUID();
    return m_cachedUUID;
}

bool HVFileDocument::readFileContents(HVError* error) {
    HVFileIdentity identity;
    auto bytes = HVFileSystem::readFile(fileName(), error, &identity, HVTextBuffer::maximumLength);
    if (!bytes)
        return false;
    m_pendingData = std::move(*bytes);
    m_pendingIdentity = identity;
    HVDocumentFileWatcher::sharedInstance().watchDocument(*this);
    return true;
}

std::optional<HVFileIdentity> HVFileDocument::knownFileIdentity() const {
    return fileIdentity() ? fileIdentity() : m_pendingIdentity;
}

HVTextViewModel* HVFileDocument::viewWithSuggestedFrame() {
    if (!m_madeView)
        makeView();
    return m_textView.get();
}

HVTextViewModel* HVFileDocument::textView() const {
    return m_textView.get();
}

void HVFileDocument::makeView() {
    m_madeView = true;
    if (!fileName().empty() && isImageFile(fileName()))
        m_viewKind = HVFileViewKind::Image;
    else
        makeTextView();
    if (m_pendingData) {
        // The bytes read when the document was opened.
        std::string bytes = std::move(*m_pendingData);
        m_pendingData.reset();
        HVError error;
        if (loadData(std::move(bytes), fileName(), {}, &error))
            setFileIdentity(m_pendingIdentity);
        else
            presentError(error);
    } else if (!fileName().empty()) {
        HVError error;
        if (!reloadContentsFromFile(fileName(), {}, &error))
            presentError(error);
    }
}

void HVFileDocument::makeTextView() {
    m_textView = std::make_unique<HTMLView>();
    m_textView->adoptLineBreakType(HVLineBreaks::preferredType());
    auto tabSize = HVPreferences::sharedInstance().integerForKey("HVTabSizeKey").value_or(4);
    m_textView->setTabWidth(std::size_t(std::clamp<std::int64_t>(tabSize, 1, 64)));
    // A language stored for the file wins over the one its name suggests.
    if (auto stored = fileConfigurationValueForKey(HVFileBundleKey); stored && stored->string()) {
        if (auto bundle =
                HVBundleRepository::sharedRepository().bundleForBundleIdentifier(*stored->string()))
            m_bundle = std::move(bundle);
    }
    // The view chooses by the name as well, so that it follows when the bundles change; the
    // document's language (stored or chosen by hand) wins.
    if (!fileName().empty())
        m_textView->setPath(fileName());
    if (m_bundle)
        m_textView->setBundle(m_bundle);
    m_textView->undoManager().addChangeObserver([this](HVUndoManager::Change change) {
        switch (change) {
        case HVUndoManager::Change::Done:
            updateChangeCount(ChangeDone);
            break;
        case HVUndoManager::Change::Undone:
            updateChangeCount(ChangeUndone);
            break;
        case HVUndoManager::Change::Redone:
            updateChangeCount(ChangeRedone);
            break;
        case HVUndoManager::Change::Cleared:
            break;
        }
    });
}

HVStringEncoding HVFileDocument::encoding() const {
    if (m_encoding != HVNoStringEncoding)
        return m_encoding;
    auto stored = fileConfigurationValueForKey(HVFileEncodingKey);
    if (stored && stored->integerValue())
        return HVStringEncoding(*stored->integerValue());
    return HVNoStringEncoding;
}

std::string HVFileDocument::configurationPath() const {
    if (m_file)
        return m_file->pathFromRoot();
    return fileName();
}

std::optional<HVPlistValue> HVFileDocument::configurationValueForKey(std::string_view key) const {
    auto it = m_localConfiguration.find(key);
    if (it == m_localConfiguration.end())
        return std::nullopt;
    return it->second;
}

void HVFileDocument::setConfigurationValue(std::optional<HVPlistValue> value,
                                           std::string_view key) {
    if (value)
        m_localConfiguration.insert_or_assign(std::string(key), std::move(*value));
    else if (auto it = m_localConfiguration.find(key); it != m_localConfiguration.end())
        m_localConfiguration.erase(it);
}

std::optional<HVPlistValue>
HVFileDocument::configurationValueForKey(std::string_view key, const std::string& file) const {
    if (keepsSettingsForAllFiles())
        return configurationValueForKey(key);
    auto files = m_localConfiguration.find(kFilesKey);
    if (files == m_localConfiguration.end())
        return std::nullopt;
    const HVPlistValue* settings = files->second.objectForKey(file);
    const HVPlistValue* value = settings ? settings->objectForKey(key) : nullptr;
    return value ? std::optional<HVPlistValue>(*value) : std::nullopt;
}

void HVFileDocument::setConfigurationValue(std::optional<HVPlistValue> value, std::string_view key,
                                           const std::string& file) {
    if (keepsSettingsForAllFiles()) {
        setConfigurationValue(std::move(value), key);
        return;
    }
    auto& files = m_localConfiguration[std::string(kFilesKey)];
    if (!files.dictionary())
        files = HVPlistValue::Dictionary{};
    auto& settings = (*files.dictionary())[file];
    if (!settings.dictionary())
        settings = HVPlistValue::Dictionary{};
    auto* dictionary = settings.dictionary();
    if (value)
        dictionary->insert_or_assign(std::string(key), std::move(*value));
    else if (auto it = dictionary->find(key); it != dictionary->end())
        dictionary->erase(it);
}

std::optional<HVPlistValue>
HVFileDocument::fileConfigurationValueForKey(std::string_view key) const {
    return configurationValueForKey(key, configurationPath());
}

bool HVFileDocument::isInSnippetsFolder() const {
    std::string snippets = Defaults::appSupportPathForFile("snippets") + "/";
    return fileName().compare(0, snippets.size(), snippets) == 0;
}

bool HVFileDocument::reloadContentsFromFile(const std::string& path, const std::string& actionName,
                                            HVError* error) {
    viewWithSuggestedFrame();
    HVFileIdentity identity;
    auto bytes = HVFileSystem::readFile(path, error, &identity, HVTextBuffer::maximumLength);
    if (!bytes || !loadData(std::move(*bytes), path, actionName, error))
        return false;
    if (path == fileName()) {
        setFileIdentity(identity);
        HVDocumentFileWatcher::sharedInstance().watchDocument(*this);
    }
    return true;
}

bool HVFileDocument::loadData(std::string bytes, const std::string& path,
                              const std::string& actionName, HVError* error) {
    if (m_viewKind == HVFileViewKind::Image) {
        m_imageData = std::move(bytes);
        return true;
    }
    HVStringEncoding wanted = HVNoStringEncoding;
    if (isInSnippetsFolder()) {
        // Snippet files are always UTF-16, whatever their setting says.
        wanted = HVUnicodeStringEncoding;
    } else if (auto stored = fileConfigurationValueForKey(HVFileEncodingKey)) {
        wanted = HVStringEncoding(stored->integerValue().value_or(0));
    }
    HVError warning;
    auto text = HVFileEncodings::createWithData(bytes, path, wanted, &warning);
    m_byteOrder = HVFileEncodings::byteOrderOfData(bytes);
    // The bytes go before the text is shown: a large file is held twice at most.
    std::string().swap(bytes);
    if (!text) {
        HVSetError(error, warning);
        return false;
    }
    // Text that only the fallback could read is written back with it too, so that what the
    // user did not change keeps its bytes (a Latin-1 page stays Latin-1, a binary file
    // stays intact) until they choose another encoding.
    bool fellBack = warning.is(HVErrorDomain, HVEncodingWarningCode);
    m_encoding = fellBack ? HVSystemDefault8BitEncoding : wanted;

    // The file keeps its own line breaks: the commonest kind is its type, and a file with
    // several kinds is left as it is until the user chooses one.
    HVLineBreaks::Kinds kinds = HVLineBreaks::kindsInText(*text);
    HVLineBreaks::Type type =
        HVLineBreaks::dominantType(kinds).value_or(HVLineBreaks::preferredType());
    bool binary = kinds.nul != 0;

    m_readingWarning.reset();
    if (binary && !m_editingAllowed) {
        m_readingWarning = HVError(HVErrorDomain, HVBinaryFileWarningCode,
                                   "Read-only: it contains NUL characters and may not be text. "
                                   "Edit \u25B8 Allow Editing lets you change it.");
    } else if (fellBack) {
        m_readingWarning = warning;
    } else if (kinds.mixed()) {
        std::string counts;
        auto add = [&](std::size_t count, HVLineBreaks::Type kind) {
            if (count == 0)
                return;
            counts += (counts.empty() ? "" : ", ") + std::to_string(count) + " " +
                      HVLineBreaks::nameForType(kind);
        };
        add(kinds.lf, HVLineBreaks::Unix);
        add(kinds.crlf, HVLineBreaks::DOS);
        add(kinds.cr, HVLineBreaks::Mac);
        m_readingWarning = HVError(HVErrorDomain, HVMixedLineBreaksWarningCode,
                                   "Mixed line breaks (" + counts +
                                       "), kept as they are: click \u201CMixed\u201D to choose "
                                       "one type.");
    }

    if (actionName.empty() || !m_textView->isEditable()) {
        // A plain load takes the decoded text over without a copy, which counts for large files.
        m_textView->adoptString(std::move(*text));
    } else {
        m_textView->replaceCharacters({0, m_textView->textStorage().length()}, *text, actionName);
    }
    m_textView->adoptLineBreakType(type, kinds.mixed());
    m_textView->setEditable(!binary || m_editingAllowed);
    showReadingWarning();
    return true;
}

void HVFileDocument::showReadingWarning() {
    HVStatusBar* bar = statusBar();
    if (!bar)
        return;
    if (m_readingWarning)
        bar->showWarning(*m_readingWarning);
    bar->setLineBreakName(lineBreakName());
}

std::string HVFileDocument::lineBreakName() const {
    if (!m_textView)
        return {};
    if (m_textView->hasMixedLineBreaks())
        return "Mixed";
    return HVLineBreaks::nameForType(m_textView->lineBreakType());
}

bool HVFileDocument::isReadOnly() const {
    return m_textView && !m_textView->isEditable();
}

void HVFileDocument::allowEditing() {
    m_editingAllowed = true;
    if (m_textView)
        m_textView->setEditable(true);
    if (m_readingWarning && m_readingWarning->is(HVErrorDomain, HVBinaryFileWarningCode)) {
        m_readingWarning.reset();
        if (HVStatusBar* bar = statusBar())
            bar->setStatusText("Editing allowed");
    }
}

void HVFileDocument::reloadContentsFromString(std::u16string_view text,
                                              const std::string& actionName) {
    if (!viewWithSuggestedFrame())
        return;
    std::u16string converted = m_textView->convertingLineBreaks(text);
    if (actionName.empty())
        m_textView->setString(converted);
    else
        m_textView->replaceCharacters({0, m_textView->textStorage().length()}, converted,
                                      actionName);
}

void HVFileDocument::setFileName(const std::string& newName) {
    bool hadName = !fileName().empty();
    std::string oldKey = m_configurationKey;
    HVDocument::setFileName(newName);
    m_configurationKey = configurationPath();
    if (hadName && !keepsSettingsForAllFiles() && m_configurationKey != oldKey) {
        // The per-file settings follow the file to its new name.
        auto files = m_localConfiguration.find(kFilesKey);
        if (files != m_localConfiguration.end() && files->second.dictionary()) {
            auto* dictionary = files->second.dictionary();
            if (auto it = dictionary->find(oldKey); it != dictionary->end()) {
                HVPlistValue moved = std::move(it->second);
                dictionary->erase(it);
                dictionary->insert_or_assign(m_configurationKey, std::move(moved));
            }
        }
    }
    // The language follows the extension (or a dot-file's name) unless the user chose one.
    if (m_textView)
        m_textView->setPath(newName);
    if (!m_customBundle) {
        auto bundle = HVBundleRepository::sharedRepository().bundleForFileName(newName);
        if (bundle && bundle != m_bundle)
            useBundle(std::move(bundle));
    } else if (m_textView && m_bundle) {
        m_textView->setBundle(m_bundle);
    }
}

bool HVFileDocument::readFromURL(const std::string& path, const std::string&, HVError* error) {
    if (path.empty() || path.front() != '/') {
        HVSetError(error, HVError(HVPlatformErrorDomain, EINVAL,
                                  "\"" + path + "\" is not the path of a file"));
        return false;
    }
    return reloadContentsFromFile(path, {}, error);
}

std::optional<std::string> HVFileDocument::dataOfType(const std::string&, HVError* error) {
    viewWithSuggestedFrame();
    // An image is written as it was read, never through a text encoding.
    if (m_viewKind == HVFileViewKind::Image)
        return m_imageData;
    HVStringEncoding used = isInSnippetsFolder() ? HVUnicodeStringEncoding : encoding();
    HVError warning;
    // The file gets the full text: what collapsed regions stand for, not their characters.
    const HVTextBuffer& buffer = m_textView->textStorage();
    std::u16string full;
    std::u16string_view text = m_textView->string();
    if (buffer.hasAttachments()) {
        full = buffer.fullString({0, buffer.length()});
        text = full;
    }
    auto data = HVFileEncodings::dataUsingEncoding(text, used, &warning, m_byteOrder);
    if (!data) {
        HVSetError(error, warning);
        return std::nullopt;
    }
    if (warning.is(HVErrorDomain, HVEncodingWarningCode))
        m_saveWarning = warning;
    m_encoding = used;
    return data;
}

bool HVFileDocument::saveToURL(const std::string& path, const std::string& type,
                               SaveOperation operation, HVError* error) {
    if (operation == SaveToOperation)
        return HVDocument::saveToURL(path, type, operation, error);
    m_ignoreNextChangeCleared = true;
    m_saving = true;
    m_saveWarning.reset();
    HVError failure;
    bool saved = HVDocument::saveToURL(path, type, operation, &failure);
    if (saved) {
        if (operation == SaveAsOperation) {
            std::shared_ptr<HVFile> node = m_delegate
                                               ? m_delegate->backingFileWillChangeToPath(this, path)
                                               : HVFile::initWithPath(path);
            setFile(node);
            if (m_file)
                m_file->contentsDidChange();
            else
                fileContentChangeFinished();
            if (m_delegate)
                m_delegate->documentNeedsRefresh(this);
        } else if (m_file) {
            m_file->contentsDidChange();
        } else {
            fileContentChangeFinished();
        }
        // The save put a new file in place of the watched one.
        HVDocumentFileWatcher::sharedInstance().resetForDocument(*this);
        // Unchanged bytes keep their modification time, so the index passes over them.
        HVCodeIndex::sharedIndex().indexFile(path);
        HVNotificationCenter::defaultCenter().postNotificationName(
            std::string(HVFileDidSaveNotification), this);
        if (m_saveWarning) {
            HVError warning = *m_saveWarning;
            m_saveWarning.reset();
            presentError(warning);
        }
    } else {
        m_ignoreNextChangeCleared = false;
        m_saving = false;
        const char* advice = "Please check that you have write permissions and that your file "
                             "encoding is valid.";
        if (failure.description().empty()) {
            HVError saveError(HVErrorDomain, 17,
                              "The document \u201C" + displayName() + "\u201D could not be saved.",
                              advice);
            saveError.setUserInfoValue(HVFilePathErrorKey, path);
            HVSetError(error, saveError);
        } else {
            // The system's own reason ("No space left on device") is what the user must see.
            if (failure.recoverySuggestion().empty())
                failure.setRecoverySuggestion(advice);
            HVSetError(error, failure);
        }
    }
    if (m_textView)
        m_textView->breakUndoCoalescing();
    return saved;
}

void HVFileDocument::updateChangeCount(ChangeKind change) {
    if (change == ChangeCleared && m_ignoreNextChangeCleared) {
        // Stays changed until the file's content change (an upload) has finished.
        m_ignoreNextChangeCleared = false;
        return;
    }
    HVDocument::updateChangeCount(change);
    if (m_delegate)
        m_delegate->documentNeedsRefresh(this);
}

void HVFileDocument::fileContentChangeFinished() {
    if (!m_saving)
        return;
    m_ignoreNextChangeCleared = false;
    m_saving = false;
    HVDocument::updateChangeCount(ChangeCleared);
    if (m_delegate)
        m_delegate->documentNeedsRefresh(this);
    if (m_saveForClose) {
        m_saveForClose = false;
        if (m_delegate)
            m_delegate->documentSaveForCloseFinished(this);
    }
}

void HVFileDocument::fileContentsChangedExternally() {
    if (!isDocumentEdited()) {
        HVError error;
        if (!revertToSaved(&error))
            presentError(error);
        return;
    }
    if (m_delegate)
        m_delegate->activateDocument(this);
    HVError question(
        HVErrorDomain, 5, "File Changed Externally",
        HVLocalization::format("The contents of %@ have been changed by another application, but "
                               "there are also unsaved changes in Halvet. Would you like to "
                               "revert the file to disk or keep the Halvet changes?",
                               {displayName()}),
        {"Keep Halvet Changes", "Revert"});
    presentError(question, [this](std::size_t option) {
        if (option != 1)
            return;
        HVError error;
        if (!revertToSaved(&error))
            presentError(error);
    });
}

void HVFileDocument::fileContentsDisappeared() {
    if (m_file)
        m_cachedUUID = m_file->uuid();
    std::string name = displayName();
    HVDocumentFileWatcher::sharedInstance().stopWatchingDocument(*this);
    setFile(nullptr);
    if (m_delegate)
        m_delegate->activateDocument(this);
    HVError question(HVErrorDomain, 6, "Local File Removed",
                     HVLocalization::format("%@ has been deleted on disk. If you don't save the "
                                            "contents now, they will be lost.",
                                            {name}),
                     {"Save File", "Don't Save"});
    presentError(question, [this](std::size_t option) {
        if (option == 0) {
            HVDispatcher::main().post([this, alive = lifetime()] {
                if (!alive.expired())
                    saveDocumentForForceClose();
            });
        } else if (m_delegate) {
            m_delegate->documentShouldForceClose(this);
        }
    });
}

void HVFileDocument::filePathDidChange() {
    if (!m_file)
        return;
    setFileName(m_file->path());
    setFileType(std::string(HVTextDocumentType));
    if (HVDocumentFileWatcher::sharedInstance().isWatchingDocument(*this))
        HVDocumentFileWatcher::sharedInstance().watchDocument(*this);
    if (m_delegate)
        m_delegate->documentNeedsRefresh(this);
}

void HVFileDocument::useBundle(std::shared_ptr<HVBundle> bundle) {
    m_bundle = std::move(bundle);
    setConfigurationValue(HVPlistValue(m_bundle->bundleIdentifier()), HVFileBundleKey,
                          configurationPath());
    if (HVStatusBar* bar = statusBar())
        bar->setLanguageName(m_bundle->title());
    // A new parser paints the whole text anew.
    if (m_textView)
        m_textView->setBundle(m_bundle);
}

void HVFileDocument::chooseBundle(std::shared_ptr<HVBundle> bundle) {
    if (!bundle)
        return;
    m_customBundle = true;
    useBundle(std::move(bundle));
}

bool HVFileDocument::statusBarSetBundle(std::string_view bundleIdentifier) {
    auto bundle =
        HVBundleRepository::sharedRepository().bundleForBundleIdentifier(bundleIdentifier);
    if (!bundle)
        return false;
    chooseBundle(std::move(bundle));
    return true;
}

void HVFileDocument::activate() {
    // The front tab's view highlights; one in the back postpones whole-text work until now.
    if (m_textView)
        m_textView->setActive(true);
    HVStatusBar* bar = statusBar();
    if (bar && viewWithSuggestedFrame()) {
        if (auto name = HVFileEncodings::stringFromEncoding(encoding()))
            bar->setEncodingName(*name);
        bar->setLineBreakName(lineBreakName());
        bar->setLanguageName(m_bundle ? m_bundle->title() : std::string());
        auto position =
            m_textView->textStorage().fullLineAndColumn(m_textView->selectedRange().location);
        bar->setLineAndColumn(position.line + 1, position.column + 1);
    }
    if (bar)
        bar->setMode(0);
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVFileBecameActiveNotification), this);
    m_hasActivated = true;
}

void HVFileDocument::deactivate() {
    if (m_textView)
        m_textView->setActive(false);
}

void HVFileDocument::saveDocumentForClose() {
    m_saveForClose = true;
    saveDocument([this](bool saved) {
        // A save that did not happen (cancelled panel, failed write) leaves the window open.
        if (!saved)
            m_saveForClose = false;
    });
}

void HVFileDocument::saveDocumentForForceClose() {
    saveDocumentAs([this](bool) {
        if (m_delegate)
            m_delegate->documentShouldForceClose(this);
    });
}

void HVFileDocument::reopenUsingEncoding(const std::string& name) {
    HVStringEncoding newEncoding = HVFileEncodings::encodingFromString(name);
    if (!isDocumentEdited()) {
        reallyReopenUsingEncoding(newEncoding);
        return;
    }
    HVError question(HVErrorDomain, 12, "File has unsaved changes",
                     "Would you like to save your changes before reopening the file? The "
                     "changes will be saved using the new encoding.",
                     {"Save Changes", "Discard Changes", "Cancel"});
    presentError(question, [this, newEncoding](std::size_t option) {
        if (option == 0) {
            setEncoding(newEncoding);
            saveDocument([this, newEncoding](bool saved) {
                if (saved)
                    reallyReopenUsingEncoding(newEncoding);
            });
        } else if (option == 1) {
            reallyReopenUsingEncoding(newEncoding);
        }
    });
}

void HVFileDocument::reallyReopenUsingEncoding(HVStringEncoding newEncoding) {
    setConfigurationValue(HVPlistValue(std::int64_t(newEncoding)), HVFileEncodingKey,
                          configurationPath());
    HVError error;
    if (!revertToSaved(&error)) {
        presentError(error);
        return;
    }
    if (HVStatusBar* bar = statusBar()) {
        bar->setStatusText(HVLocalization::format(
            HVLocalization::localizedString("Opened using %@"),
            {HVFileEncodings::stringFromEncoding(newEncoding).value_or("?")}));
        bar->setEncodingName(HVFileEncodings::stringFromEncoding(newEncoding).value_or(""));
    }
}

void HVFileDocument::close() {
    if (isClosed())
        return;
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVFileWillCloseNotification), this);
    HVDocumentFileWatcher::sharedInstance().stopWatchingDocument(*this);
    HVDocument::close();
}

const void* HVFileDocument::presentationContext() const {
    return m_delegate ? static_cast<const void*>(m_delegate) : this;
}

std::string HVFileDocument::titleForLists() const {
    std::string path = m_file ? m_file->path() : fileName();
    if (path.empty())
        return displayName();
    return HVFileSystem::lastPathComponent(path) + " \u2014 " +
           HVFileSystem::deletingLastPathComponent(path);
}

std::optional<HVPlistValue> HVFileDocument::plistRepresentationForProject() const {
    if (!m_file)
        return std::nullopt;
    HVPlistValue::Dictionary entry;
    entry["path"] = m_file->pathFromRoot();
    entry["position"] = "{0, 0}";
    return HVPlistValue(std::move(entry));
}

HVStatusBar* HVFileDocument::statusBar() const {
    return m_delegate ? m_delegate->statusBarForDocument(const_cast<HVFileDocument*>(this))
                      : nullptr;
}

void HVFileDocument::presentError(const HVError& error,
                                  std::function<void(std::size_t)> completion) {
    if (m_delegate)
        m_delegate->presentErrorAlert(this, error, std::move(completion));
    else
        HVUserInterface::shared().presentError(error, this, std::move(completion));
}
