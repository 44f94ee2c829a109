#include "HVTextStorage.h"

#include "HVFoldMarkerTextAttachment.h"

#include <algorithm>

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
    // Other kinds of attachment are passed over.
    for (std::size_t at = index; at < length(); ++at) {
        std::shared_ptr<const HVTextAttachment> attachment;
        at = nextAttachmentPosition(at, &attachment);
        if (at == HVNotFound)
            return nullptr;
        if (auto fold = std::dynamic_pointer_cast<const HVFoldMarkerTextAttachment>(attachment)) {
            if (found)
                *found = {at, 1};
            return fold;
        }
    }
    return nullptr;
}

std::shared_ptr<const HVFoldMarkerTextAttachment>
HVTextStorage::previousAttachmentBeforeIndex(std::size_t index, HVRange* found) const {
    if (length() == 0)
        return nullptr;
    for (std::size_t at = std::min(index, length() - 1);; --at) {
        std::shared_ptr<const HVTextAttachment> attachment;
        at = previousAttachmentPosition(at, &attachment);
        if (at == HVNotFound)
            return nullptr;
        if (auto fold = std::dynamic_pointer_cast<const HVFoldMarkerTextAttachment>(attachment)) {
            if (found)
                *found = {at, 1};
            return fold;
        }
        if (at == 0)
            return nullptr;
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
