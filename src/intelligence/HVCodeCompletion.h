#pragma once

#include "HVCodeCompletionEntry.h"
#include "HVError.h"
#include "HVPlistValue.h"
#include "HVRange.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class HVBundle;
class HVCodeCompletionUI;

// What a language offers in the completion pop-up, built from its bundle's "completion.plist":
// keyword completion (a fixed list merged with the index's symbols for the file), tag
// completion (elements, attributes, values) or style-sheet completion (properties and their
// values). This base offers nothing.
//
// The editor asks, in this order: suggestAutomatically(), partialKeywordForString(),
// completionsForString(), showTypeColumn(); when an entry is accepted,
// keywordRangeForString() and postprocessCompletion(). Completion runs on the main thread.
class HVCodeCompletion : public std::enable_shared_from_this<HVCodeCompletion> {
public:
    // Gets the final text to insert, or none when a dialog was cancelled.
    using DidEnd = std::function<void(std::optional<std::u16string> text)>;

    virtual ~HVCodeCompletion();
    HVCodeCompletion(const HVCodeCompletion&) = delete;
    HVCodeCompletion& operator=(const HVCodeCompletion&) = delete;

    // The completion of a bundle's "completion.plist": "class" naming a known class wins, else
    // "format-type" "keyword" or "tag"; anything else gives none. Built once per bundle and kept
    // while the bundle lives (main thread).
    static std::shared_ptr<HVCodeCompletion>
    completionForBundle(const std::shared_ptr<HVBundle>& bundle);
    // Builds one from a definition, without caching; none for an unknown kind.
    static std::shared_ptr<HVCodeCompletion> initWithPlist(const HVPlistValue& plist,
                                                           const std::shared_ptr<HVBundle>& bundle);

    virtual bool suggestAutomatically() const;
    // The partial word before the caret (UTF-16 position in text), or none.
    virtual std::optional<std::u16string> partialKeywordForString(std::u16string_view text,
                                                                  std::size_t cursor);
    // The candidates for the partial word, sorted by key; file is the document's path (empty
    // for an untitled one).
    virtual std::vector<HVCodeCompletionEntry>
    completionsForString(std::u16string_view partial, const std::string& file, std::size_t cursor);
    bool showTypeColumn() const { return m_showTypeColumn; }
    // The range an accepted completion replaces; {HVNotFound, 0} when none.
    virtual HVRange keywordRangeForString(std::u16string_view text, std::size_t cursor);
    // Hands the final text to didEnd, at once or after a dialog.
    virtual void postprocessCompletion(std::u16string completion, DidEnd didEnd);

    // Whether the completion text asks for a dialog (it ends with U+2026).
    bool shouldShowUIForCompletion(std::u16string_view completion) const;
    // The dialog for a label (the text before the ellipsis); none in the base.
    virtual std::shared_ptr<HVCodeCompletionUI>
    createCodeCompletionUIForCompletion(std::u16string_view label);
    // Where a file dialog starts: lastPath, or the home folder when there is none.
    std::string pathForUI() const;

    // Editing and saving the definition.
    virtual std::vector<HVCodeCompletionEntry> entries() const;
    virtual void setEntries(std::vector<HVCodeCompletionEntry> entries);
    virtual HVPlistValue plistRepresentation() const;
    // Writes "completion.plist" (binary) into a bundle's "Contents" directory.
    bool commitToPath(const std::string& contentsDirectory, HVError* error = nullptr) const;
    const std::string& editClass() const { return m_editClass; }

    std::shared_ptr<HVBundle> bundle() const { return m_bundle.lock(); }
    const std::string& lastPath() const { return m_lastPath; }

protected:
    HVCodeCompletion(const HVPlistValue& plist, const std::shared_ptr<HVBundle>& bundle);
    // Runs a dialog for the text before the ellipsis; wrap shapes the dialog's text. Without a
    // dialog for the label nothing is inserted.
    void runDialog(std::u16string_view label, DidEnd didEnd,
                   std::function<std::u16string(std::u16string)> wrap);
    // "edit-class" and "hide-type-column" as read, for writing the definition back.
    void addCommonKeys(HVPlistValue::Dictionary& plist) const;

    std::weak_ptr<HVBundle> m_bundle;
    std::string m_editClass;
    std::string m_lastPath;
    bool m_showTypeColumn = true;
};
