#include "HVRemoteCommandQuoting.h"

#include "HVRemoteFilesConnection.h"

namespace {

std::optional<std::string> refuse(std::string* reason, std::string text) {
    if (reason)
        *reason = std::move(text);
    return std::nullopt;
}

// C0 controls, DEL, and C1 controls (U+0080 to U+009F, which some terminals obey).
bool holdsControlCharacter(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F)
            return true;
        if (byte == 0xC2 && i + 1 < text.size()) {
            auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F)
                return true;
        }
    }
    return false;
}

std::string escaped(std::string_view text, std::string_view special) {
    std::string result;
    for (char c : text) {
        if (special.find(c) != std::string_view::npos)
            result += '\\';
        result += c;
    }
    return result;
}

std::string quotedForFTP(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '"')
            result += "\"\\\"\"";
        else
            result += c;
    }
    return result + "\"";
}

} // namespace

bool HVRemoteCommandQuoting::isValidUTF8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2;
            codePoint = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            codePoint = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            codePoint = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < smallest[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<std::string> HVRemoteCommandQuoting::quote(HVRemoteProtocol protocol,
                                                         std::string_view path,
                                                         HVRemoteArgument use,
                                                         std::string* reason) {
    if (path.empty())
        return refuse(reason, "An empty path cannot be typed.");
    if (holdsControlCharacter(path))
        return refuse(reason, "The path \"" + std::string(path.substr(0, 200)).append("\"") +
                                  " holds a control character, which cannot be typed safely.");
    if (!isValidUTF8(path))
        return refuse(reason, "The path is not UTF-8 and cannot be typed safely.");
    bool local = use == HVRemoteArgument::LocalPath || use == HVRemoteArgument::GlobbedLocalPath;
    if (local && path.front() != '/')
        return refuse(reason, "The local path \"" + std::string(path) + "\" is not absolute.");
    bool globbed =
        use == HVRemoteArgument::GlobbedRemotePath || use == HVRemoteArgument::GlobbedLocalPath;

    std::string text(path);
    if (text.front() == '-')
        text.insert(0, "./");
    switch (protocol) {
    case HVRemoteProtocol::FTP:
        return quotedForFTP(text);
    case HVRemoteProtocol::SFTP:
        return "\"" + escaped(text, globbed ? "\\\"{}" : "\\\"") + "\"";
    case HVRemoteProtocol::WebDAV:
        if (text.find_first_of("*?[") != std::string::npos)
            return refuse(reason, "The path \"" + std::string(path) +
                                      "\" holds a wildcard (* ? [), which the WebDAV client "
                                      "would match against other names.");
        return "\"" + escaped(text, "\\\"") + "\"";
    }
    return refuse(reason, "Unknown protocol.");
}

std::optional<std::string> HVRemoteCommandQuoting::commandLine(
    std::string_view verb, const std::vector<std::string>& arguments, std::string* reason) {
    std::string line(verb);
    for (const std::string& argument : arguments)
        line.append(" ").append(argument);
    if (line.size() > HVRemoteFilesConnection::maximumCommandLength)
        return refuse(reason, "The command would be " + std::to_string(line.size()) +
                                  " bytes long; the client accepts at most " +
                                  std::to_string(HVRemoteFilesConnection::maximumCommandLength) +
                                  ".");
    return line;
}
