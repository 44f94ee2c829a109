#include "HVLocalization.h"

#include <map>

namespace {

const std::map<std::string_view, std::string_view>& englishTable() {
    static const std::map<std::string_view, std::string_view> table = {
        {"ENCODING_SAVE_WARNING_TITLE", "Some characters could not be saved"},
        {"ENCODING_SAVE_WARNING_BODY",
         "The text holds characters that %@ cannot represent. They were replaced in the saved "
         "file; choose another encoding and save again to keep them."},
        {"UPLOAD_WHILE_OFFLINE_TITLE", "The server cannot be reached"},
        {"UPLOAD_WHILE_OFFLINE_BODY",
         "The file was saved on disk. Its upload waits in the queue and starts when the "
         "connection returns."},
    };
    return table;
}

} // namespace

std::string HVLocalization::localizedString(std::string_view key) {
    auto it = englishTable().find(key);
    return std::string(it == englishTable().end() ? key : it->second);
}

std::string HVLocalization::format(std::string_view pattern,
                                   std::initializer_list<std::string_view> args) {
    std::string result;
    auto arg = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '@') {
            if (arg != args.end())
                result += *arg++;
            ++i;
        } else {
            result += pattern[i];
        }
    }
    return result;
}
