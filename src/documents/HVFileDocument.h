#pragma once

#include "HVDocument.h"
#include "HVFileEncodings.h"
#include "HVFileNodeDocument.h"
#include "HVPlistValue.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class HVBundle;
class HVFile;
class HVFileDocumentDelegate;
class HVStatusBar;
class HTMLView;
class HVTextViewModel;

// Notifications, with the document as their object.
inline constexpr std::string_view HVFileDidSaveNotification = "HVFileDidSave";
inline constexpr std::string_view HVFileBecameActiveNotification = "HVFileBecameActive";
inline constexpr std::string_view HVFileWillCloseNotification = "HVFileWillClose";

// Per-file settings.
inline constexpr std::string_view HVFileEncodingKey = "HVFileEncoding";
inline constexpr std::string_view HVFileBundleKey = "HVFileBundle";
inline constexpr std::string_view HVRemotePreviewURLKey = "HVRemotePreviewURL";
inline constexpr std::string_view HVRemotePreviewBrowserNameKey = "HVRemotePreviewBrowserName";

inline constexpr std::string_view HVTextDocumentType = "HVTextFile";

// Warnings of a reading, shown in the status bar (beside code 16, a fallback decoding).
inline constexpr std::int64_t HVMixedLineBreaksWarningCode = 19;
inline constexpr std::int64_t HVBinaryFileWarningCode = 20;

// How a document shows its file: as text, or, for the image category, as a picture that is
// never decoded as text and never re-encoded.
enum class HVFileViewKind { Text, Image };

// The document of one text file: it owns the editor view that holds the text, decides how
// bytes become characters and back, saves, and reacts when the file changes or disappears.
class HVFileDocument : public HVDocument, public HVFileNodeDocument {
public:
    // A document for the node (none for an untitled document), shown by the delegate.
    HVFileDocument(std::shared_ptr<HVFile> file, HVFileDocumentDelegate* delegate);
    ~HVFileDocument() override;

    const std::shared_ptr<HVFile>& file() const { return m_file; }
    HVFileDocumentDelegate* delegate() const { return m_delegate; }
    void setDelegate(HVFileDocumentDelegate* delegate) { m_delegate = delegate; }
    // The node's identifier, kept after the node went away.
    std::string uuid() const;

    // Reads the file's bytes now, so that a file that cannot be read makes no document; they
    // are decoded when the view is made.
    bool readFileContents(HVError* error);
    // The version of the file the document holds: the one it last read or wrote, or the one
    // read at opening and not yet decoded.
    std::optional<HVFileIdentity> knownFileIdentity() const;

    // The view: made, and the file loaded into it, on the first call. Answers the text view,
    // which is none for an image: the image view shows its bytes.
    HVTextViewModel* viewWithSuggestedFrame();
    HVFileViewKind fileViewKind() const { return m_viewKind; }
    HVTextViewModel* textView() const;
    // The same view, as the editor that highlights and folds the text.
    HTMLView* highlightingView() const { return m_textView.get(); }
    const std::string& imageData() const { return m_imageData; }

    // The encoding the view loaded with, else the per-file "HVFileEncoding", else 0.
    HVStringEncoding encoding() const;
    void setEncoding(HVStringEncoding encoding) { m_encoding = encoding; }
    // The view's line-break type ("Unix", "Mac", "DOS"), or "Mixed" for a file that holds
    // several kinds and was left as it is.
    std::string lineBreakName() const;

    // A file with NUL characters may not be text: it opens read-only until the user allows
    // editing it.
    bool isReadOnly() const;
    void allowEditing();

    // Document-wide and per-file settings; without a project they live with the document.
    std::optional<HVPlistValue> configurationValueForKey(std::string_view key) const;
    void setConfigurationValue(std::optional<HVPlistValue> value, std::string_view key);
    virtual std::optional<HVPlistValue> configurationValueForKey(std::string_view key,
                                                                 const std::string& file) const;
    virtual void setConfigurationValue(std::optional<HVPlistValue> value, std::string_view key,
                                       const std::string& file);
    std::optional<HVPlistValue> fileConfigurationValueForKey(std::string_view key) const;
    // The key under which this document's per-file settings are kept.
    std::string configurationPath() const;

    // Replaces the text; undoable when an action name is given.
    bool reloadContentsFromFile(const std::string& path, const std::string& actionName,
                                HVError* error);
    void reloadContentsFromString(std::u16string_view text, const std::string& actionName);

    void setFileName(const std::string& fileName) override;
    bool readFromURL(const std::string& path, const std::string& type, HVError* error) override;
    std::optional<std::string> dataOfType(const std::string& type, HVError* error) override;
    bool saveToURL(const std::string& path, const std::string& type, SaveOperation operation,
                   HVError* error) override;
    void updateChangeCount(ChangeKind change) override;
    void close() override;
    const void* presentationContext() const override;

    // From the file node.
    void fileContentsChangedExternally() override;
    void fileContentsDisappeared() override;
    void filePathDidChange() override;
    void fileContentChangeFinished() override;

    void activate();
    void deactivate();
    bool hasActivated() const { return m_hasActivated; }

    // Saves before a close that the window asked for; the delegate hears when it finished.
    void saveDocumentForClose();
    // Saves under a new name, then the delegate closes the document without asking.
    void saveDocumentForForceClose();
    void reopenUsingEncoding(const std::string& name);

    // "Title — directory" for menus of open files.
    std::string titleForLists() const;
    // The entry in a project's list of open files; none without a node.
    std::optional<HVPlistValue> plistRepresentationForProject() const;

    HVFileDocument* activeDocument() override { return this; }
    bool isMultiFile() const override { return false; }

    // The warning of the last reading (read-only binary, a fallback decoding, mixed line
    // breaks, in that order of importance), shown again whenever the document comes forward.
    const std::optional<HVError>& readingWarning() const { return m_readingWarning; }

    // The language of the file: chosen by the file name's extension, or by the user.
    const std::shared_ptr<HVBundle>& bundle() const { return m_bundle; }
    // The user's choice, which later renames do not change; stored as the file's
    // "HVFileBundle", and the text is highlighted anew in that language.
    void chooseBundle(std::shared_ptr<HVBundle> bundle);
    // The status bar's language menu: the bundle by its bundle identifier; false when there
    // is none.
    bool statusBarSetBundle(std::string_view bundleIdentifier);

    bool saving() const { return m_saving; }
    bool ignoreNextChangeCleared() const { return m_ignoreNextChangeCleared; }
    bool saveForClose() const { return m_saveForClose; }
    bool customBundle() const { return m_customBundle; }

protected:
    // A single-file document keeps one dictionary for all its settings.
    virtual bool keepsSettingsForAllFiles() const { return false; }
    HVStatusBar* statusBar() const;
    void presentError(const HVError& error, std::function<void(std::size_t)> completion = nullptr);
    bool isInSnippetsFolder() const;

private:
    void makeView();
    void makeTextView();
    // Decodes a file's bytes into the view (or keeps an image's), with its line breaks as
    // they are.
    bool loadData(std::string bytes, const std::string& path, const std::string& actionName,
                  HVError* error);
    void showReadingWarning();
    void reallyReopenUsingEncoding(HVStringEncoding encoding);
    void setFile(std::shared_ptr<HVFile> file);
    void useBundle(std::shared_ptr<HVBundle> bundle);

    std::shared_ptr<HVFile> m_file;
    HVFileDocumentDelegate* m_delegate = nullptr;
    std::unique_ptr<HTMLView> m_textView;
    HVFileViewKind m_viewKind = HVFileViewKind::Text;
    bool m_madeView = false;
    // Read when the document was opened, decoded when the view is made.
    std::optional<std::string> m_pendingData;
    std::optional<HVFileIdentity> m_pendingIdentity;
    std::string m_imageData;
    bool m_editingAllowed = false;
    std::shared_ptr<HVBundle> m_bundle;
    HVPlistValue::Dictionary m_localConfiguration;
    std::string m_cachedUUID;
    // The key of the per-file settings under the current name.
    std::string m_configurationKey;
    HVStringEncoding m_encoding = HVNoStringEncoding;
    HVByteOrder m_byteOrder = HVByteOrder::LittleEndian;
    std::optional<HVError> m_saveWarning;
    std::optional<HVError> m_readingWarning;
    bool m_customBundle = false;
    bool m_ignoreNextChangeCleared = false;
    bool m_saving = false;
    bool m_saveForClose = false;
    bool m_hasActivated = false;
};
