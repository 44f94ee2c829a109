#include "HTMLView.h"

#include "HVFileEncodings.h"
#include "HVFileSystem.h"
#include "HVImageSize.h"
#include "HVPreferences.h"
#include "HVSpecialCharacters.h"
#include "HVTextBuffer.h"
#include "HVUndoManager.h"
#include "HVUnicode.h"
#include "HVUserInterface.h"

#include <algorithm>
#include <cctype>

namespace {

// The kinds of image whose size an image element gets.
const std::vector<std::string> ImageExtensions = {"png", "gif",  "jpg", "jpeg",
                                                  "jpe", "webp", "svg"};

// The commands that change the text, which a view that is not editable refuses.
bool changesText(std::string_view action) {
    static const std::string_view actions[] = {
        "undo:",
        "redo:",
        "cut:",
        "paste:",
        "delete:",
        "convertCharacterEntitiesToHTML:",
        "closeTag:",
        "entabBlock:",
        "detabBlock:",
        "formatText:",
        "makeLink:",
        "_makeLinkFromMenu:",
        "insertImage:",
        "insertPathToFile:",
        "insertContentsOfFile:",
        "insertSnippet:",
        "insertSpecialCharacter:",
        "insertUserScript:",
        "setLineBreakType:",
        "performTidy:",
        "replaceAndFind:",
        "applyReplaceAll:",
    };
    return std::find(std::begin(actions), std::end(actions), action) != std::end(actions);
}

std::string withoutAmpersand(std::string title) {
    if (title.starts_with('&'))
        title.erase(0, 1);
    return title;
}

} // namespace

std::shared_ptr<const HVSpecialCharacters> HTMLView::loadSpecialCharacters() {
    // A damaged list leaves whatever of it could be read; typing goes on without the rest.
    return std::make_shared<const HVSpecialCharacters>(HVSpecialCharacters::load());
}

bool HTMLView::replaceTypedCharacterEntity() {
    if (m_escaped || !HVPreferences::sharedInstance().boolForKey("HVAutoSpecChars").value_or(true))
        return false;
    HVRange typed = lastChangeRange();
    // One code point: a single unit or a surrogate pair.
    // Read from the buffer: the whole text in one piece would cost a copy on every key.
    if (typed.location == HVNotFound || typed.length == 0 || typed.length > 2 ||
        typed.location + typed.length > textStorage().length())
        return false;
    std::u16string character = textStorage().substring(typed);
    if (typed.length == 2 && !(character[0] >= 0xD800 && character[0] < 0xDC00))
        return false;
    const std::u16string* entity = m_specialCharacters->entityForCharacter(character);
    if (!entity)
        return false;
    // An entity means something only in markup: "é" in a script or a Python file stays "é".
    if (!markupAtCaret())
        return false;
    std::u16string replacement = *entity;
    setSelectedRange(typed);
    return undoableInsertText(replacement, "Replace Character Entity");
}

void HTMLView::convertCharacterEntitiesToHTML() {
    const HVTextBuffer& buffer = textStorage();
    std::u16string full = buffer.fullString({0, buffer.length()});
    HVRange selection = selectedRange();
    std::size_t caret = buffer.fullPosition(selection.location);
    std::u16string converted = m_specialCharacters->replacingCharacters(full, &caret);
    if (converted == full)
        return;
    if (undoableSetString(converted, "Replace Character Entities"))
        setSelectedRange({caret, selection.length});
}

void HTMLView::insertSpecialCharacter(std::u16string_view entity) {
    undoableInsertText(entity, "Insert Character Entity");
}

void HTMLView::formatText(int tag) {
    static const char16_t* const names[] = {u"strong", u"em", u"u"};
    if (tag < 4 || tag > 6)
        return;
    std::u16string name = names[tag - 4];
    HVRange selection = selectedRange();
    std::u16string formatted =
        u"<" + name + u">" + textStorage().fullString(selection) + u"</" + name + u">";
    if (undoableInsertText(formatted, "Format Text"))
        setSelectedRange({selection.location, formatted.size()});
}

void HTMLView::makeLink() {
    HVRange selection = selectedRange();
    if (selection.length == 0 || selection.location + selection.length > textStorage().length())
        return;
    std::u16string text = textStorage().fullString(selection);
    undoableInsertText(u"<a href=\"" + text + u"\">" + text + u"</a>", "Make Link");
}

std::string HTMLView::insertedPath(const std::string& file) const {
    if (!path())
        return file;
    return HVFileSystem::relativePathTo(file, HVFileSystem::deletingLastPathComponent(*path()));
}

void HTMLView::chooseFileToInsert(std::string title, std::vector<std::string> extensions,
                                  void (HTMLView::*insert)(const std::string& path)) {
    HVUserInterface::OpenPanelOptions options;
    options.title = std::move(title);
    if (path())
        options.directory = HVFileSystem::deletingLastPathComponent(*path());
    options.allowsMultipleSelection = false;
    options.allowedExtensions = std::move(extensions);
    std::weak_ptr<HTMLView*> weak = m_commandsSelf;
    HVUserInterface::shared().runOpenPanel(options, this,
                                           [weak, insert](std::vector<std::string> paths) {
                                               auto self = weak.lock();
                                               if (self && !paths.empty())
                                                   ((*self)->*insert)(paths.front());
                                           });
}

void HTMLView::insertImage() {
    chooseFileToInsert("Insert Image", ImageExtensions, &HTMLView::insertImage);
}

void HTMLView::insertPathToFile() {
    chooseFileToInsert("Insert Path", {}, &HTMLView::insertPathToFile);
}

void HTMLView::insertContentsOfFile() {
    chooseFileToInsert("Insert Contents of File", {}, &HTMLView::insertContentsOfFile);
}

void HTMLView::insertImage(const std::string& file) {
    std::string name = HVFileSystem::lastPathComponent(file);
    std::string extension = HVFileSystem::pathExtension(name);
    if (!extension.empty())
        name.resize(name.size() - extension.size() - 1);
    std::string element = "<img src=\"" + insertedPath(file) + "\" alt=\"" + name + "\"";
    // An image whose size cannot be read still gets its element; the browser sizes it.
    if (auto size = HVImageSize::ofFile(file))
        element += " width=\"" + std::to_string(size->width) + "\" height=\"" +
                   std::to_string(size->height) + "\"";
    element += isXHTML() ? " />" : ">";
    undoableInsertText(HVUnicode::utf16(element), "Insert Image");
}

void HTMLView::insertPathToFile(const std::string& file) {
    undoableInsertText(HVUnicode::utf16(insertedPath(file)), "Insert Path");
}

void HTMLView::insertContentsOfFile(const std::string& file) {
    // The view keeps no encoding of its own: the file's own is detected, as when it is opened.
    HVStringEncoding encoding = HVNoStringEncoding;
    HVError error;
    auto text = HVFileEncodings::createWithContentsOfFile(file, encoding, &error);
    if (!text) {
        if (m_interfaceDelegate)
            m_interfaceDelegate->htmlViewHadError(*this, error, true);
        return;
    }
    if (undoableInsertText(convertingLineBreaks(*text), "Insert Contents of File") &&
        error.code() == HVEncodingWarningCode && m_interfaceDelegate)
        m_interfaceDelegate->htmlViewHadError(*this, error, false);
}

bool HTMLView::validateMenuItem(std::string_view action, std::string* title) {
    if (!isEditable() && changesText(action))
        return false;
    HVUndoManager& undo = undoManager();
    if (action == "undo:" || action == "redo:") {
        bool isUndo = action == "undo:";
        if (title)
            *title = withoutAmpersand(isUndo ? undo.undoMenuItemTitle() : undo.redoMenuItemTitle());
        return isUndo ? undo.canUndo() : undo.canRedo();
    }
    // An empty selection makes an empty element to type into, but no link.
    if (action == "addSelectionAsSnippet:" || action == "makeLink:" ||
        action == "_makeLinkFromMenu:")
        return selectedRange().length > 0;
    return true;
}
