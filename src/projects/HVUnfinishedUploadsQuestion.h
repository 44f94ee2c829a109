#pragma once

#include "HVError.h"

#include <cstddef>
#include <optional>

// What quitting asks while uploads are waiting or have failed: quitting otherwise asks
// nothing, but here it would leave the server without the person's latest changes.
class HVUnfinishedUploadsQuestion {
public:
    enum class Answer { ShowUploads, QuitAnyway, Cancel };

    // The alert to show (its recovery options are the answers, in order), or none when every
    // upload has finished.
    static std::optional<HVError> question(std::size_t unfinished);
    // The answer an option of the alert stands for; anything else is Cancel, the safe way out.
    static Answer answerForOption(std::size_t option);
};
