#include "HVUnfinishedUploadsQuestion.h"

#include <string>

std::optional<HVError> HVUnfinishedUploadsQuestion::question(std::size_t unfinished) {
    if (unfinished == 0)
        return std::nullopt;
    std::string files = std::to_string(unfinished) + (unfinished == 1 ? " file" : " files");
    // A question rather than a failure; its code only tells it apart from the others.
    return HVError(HVErrorDomain, 20, "Some uploads have not finished.",
                   "If you quit now, the server will not have your latest changes to " + files +
                       ".",
                   {"Show Uploads", "Quit Anyway", "Cancel"});
}

HVUnfinishedUploadsQuestion::Answer
HVUnfinishedUploadsQuestion::answerForOption(std::size_t option) {
    switch (option) {
    case 0:
        return Answer::ShowUploads;
    case 1:
        return Answer::QuitAnyway;
    default:
        return Answer::Cancel;
    }
}
