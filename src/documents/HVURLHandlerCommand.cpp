#include "HVURLHandlerCommand.h"

#include "HVDocument.h"
#include "HVDocumentController.h"
#include "HVFileDocument.h"
#include "HVTextViewModel.h"

#include <cctype>
#include <optional>
#include <vector>

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// Leading digits; anything else reads as 0.
std::size_t leadingInteger(std::string_view text) {
    std::size_t value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            break;
        value = value * 10 + std::size_t(c - '0');
    }
    return value;
}

} // namespace

void HVURLHandlerCommand::performDefaultImplementation(std::string_view url) {
    auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos || url.substr(0, schemeEnd) != "hvdt")
        return;
    std::string_view rest = url.substr(schemeEnd + 3);
    std::size_t hostEnd = rest.find_first_of("/?#");
    std::string_view host = rest.substr(0, hostEnd);
    if (host != "open")
        return;
    std::size_t question = rest.find('?');
    if (question == std::string_view::npos)
        return;
    std::string_view query = rest.substr(question + 1);
    if (auto hash = query.find('#'); hash != std::string_view::npos)
        query = query.substr(0, hash);
    openBasedOnQuery(query);
}

void HVURLHandlerCommand::openBasedOnQuery(std::string_view query) {
    std::optional<std::string_view> file, range;
    for (std::string_view component : split(query, '&')) {
        auto equals = component.find('=');
        // A component without "=" is ignored.
        if (equals == std::string_view::npos)
            continue;
        std::string_view key = component.substr(0, equals);
        std::string_view value = component.substr(equals + 1);
        if (key == "file")
            file = value;
        else if (key == "range")
            range = value;
    }
    if (!file)
        return;
    HVDocument* document = HVDocumentController::sharedController().openDocumentWithContentsOfFile(
        std::string(*file), true);
    HVFileDocument* fileDocument = document ? document->activeDocument() : nullptr;
    if (!fileDocument || !range)
        return;
    auto parts = split(*range, ',');
    if (parts.size() != 2)
        return;
    HVTextViewModel* view = fileDocument->viewWithSuggestedFrame();
    if (!view)
        return;
    view->setSelectedRange({leadingInteger(parts[0]), leadingInteger(parts[1])});
    view->scrollRangeToVisible(view->selectedRange());
}
