#pragma once

#include "HVTextBuffer.h"

#include <cstddef>
#include <memory>
#include <string>

class HVFoldMarkerTextAttachment;

// The editor's text: a text buffer that also finds the collapsed regions in it (the fold
// attachments, each standing in one character for the text it hides) and makes new ones.
// The full text of a range, with every region's text in place, is the buffer's fullString().
class HVTextStorage : public HVTextBuffer {
public:
    using HVTextBuffer::HVTextBuffer;

    // A new attachment that holds the full text of the range (folds inside it expanded).
    std::shared_ptr<const HVFoldMarkerTextAttachment> attachmentForRange(HVRange range) const;
    // The first fold attachment whose character lies inside the range, or none.
    std::shared_ptr<const HVFoldMarkerTextAttachment>
    firstAttachmentInRange(HVRange range, HVRange* found = nullptr) const;
    // From the index forwards, the first fold attachment, with its character's range; none at
    // or beyond the end.
    std::shared_ptr<const HVFoldMarkerTextAttachment>
    nextAttachmentAfterIndex(std::size_t index, HVRange* found = nullptr) const;
    // From the index backwards, down to and including the first character, the nearest fold
    // attachment, with its character's range.
    std::shared_ptr<const HVFoldMarkerTextAttachment>
    previousAttachmentBeforeIndex(std::size_t index, HVRange* found = nullptr) const;
    // The characters of the range with a single space for each collapsed region.
    std::u16string stringWithoutAttachments(HVRange range) const;
};
