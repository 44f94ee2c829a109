#include "HVTextStorage.h"

#include "HVFoldMarkerTextAttachment.h"

#include <algorithm>

namespace {

std::shared_ptr<const HVFoldMarkerTextAttachment> foldAt(const HVTextBuffer& text,
                                                         std::size_t index, HVRange* run) {
    return std::dynamic_pointer_cast<const HVFoldMarkerTextAttachment>(
        text.attributesAtIndex(index, run)->attachment());
}

} // namespace

std::shared_ptr<const HVFoldMarkerTextAttachment>
HVTextStorage::attachmentForRange(HVRange range) const {
    return std::make_shared<const HVFoldMarkerTextAttachment>(fullString(range));
}

std::shared_ptr<const HVFoldMarkerTextAttachment>
HVTextStorage::firstAttachmentInRange(HVRange range, HVRange* found) const {
    std::size_t end = std::min(range.end(), length());
    HVRange at;
    auto fold = nextAttachmentAfterIndex(range.location, &at);
    if (!fold || at.location >= end)
        return nullptr;
    if (found)
        *found = at;
    return fold;
}

std::shared_ptr<const HVFoldMarkerTextAttachment>
HVTextStorage::nextAttachmentAfterIndex(std::size_t index, HVRange* found) const {
    // Folds are rare: a text without any answers at once.
    if (!hasAttachments())
        return nullptr;
    for (std::size_t i = index; i < length();) {
        HVRange run;
        if (auto fold = foldAt(*this, i, &run)) {
            if (found)
                *found = run;
            return fold;
        }
        i = run.end();
    }
    return nullptr;
}

std::shared_ptr<const HVFoldMarkerTextAttachment>
HVTextStorage::previousAttachmentBeforeIndex(std::size_t index, HVRange* found) const {
    if (!hasAttachments() || length() == 0)
        return nullptr;
    for (std::size_t i = std::min(index, length() - 1);;) {
        HVRange run;
        if (auto fold = foldAt(*this, i, &run)) {
            if (found)
                *found = run;
            return fold;
        }
        if (run.location == 0)
            return nullptr;
        i = run.location - 1;
    }
}

std::u16string HVTextStorage::stringWithoutAttachments(HVRange range) const {
    std::u16string text = substring(range);
    if (!hasAttachments())
        return text;
    std::size_t start = std::min(range.location, length());
    for (std::size_t i = start; i < start + text.size();) {
        HVRange run;
        auto attachment = attributesAtIndex(i, &run)->attachment();
        std::size_t end = std::min(run.end(), start + text.size());
        if (attachment) {
            for (std::size_t j = i; j < end; ++j)
                text[j - start] = u' ';
        }
        i = end;
    }
    return text;
}
