#include "HVRemoteURL.h"

#include "HVHexDigit.h"

#include <charconv>

namespace {

HVError urlError(std::string_view text, std::string reason) {
    return HVError(HVErrorDomain, 12, "Invalid Remote Address",
                   "\"" + std::string(text) + "\" is not a remote address: " + std::move(reason));
}

} // namespace

std::optional<std::string> HVPercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 1 < text.size() ? HVHexDigitValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HVHexDigitValue(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<HVRemoteURL> HVRemoteURL::parse(std::string_view text, HVError* error) {
    const auto fail = [&](std::string reason) -> std::optional<HVRemoteURL> {
        HVSetError(error, urlError(text, std::move(reason)));
        return std::nullopt;
    };
    HVRemoteURL url;
    const auto schemeEnd = text.find("://");
    if (schemeEnd == std::string_view::npos)
        return fail("it has no scheme such as sftp://");
    const std::string_view scheme = text.substr(0, schemeEnd);
    if (scheme == "ftp") {
        url.protocol = HVRemoteProtocol::FTP;
        url.scheme = "ftp";
    } else if (scheme == "sftp") {
        url.protocol = HVRemoteProtocol::SFTP;
        url.scheme = "sftp";
    } else if (scheme == "webdav" || scheme == "dav" || scheme == "http") {
        url.protocol = HVRemoteProtocol::WebDAV;
        url.scheme = "http";
    } else if (scheme == "davs" || scheme == "webdavs" || scheme == "https") {
        url.protocol = HVRemoteProtocol::WebDAV;
        url.scheme = "https";
    } else {
        return fail("the scheme \"" + std::string(scheme) + "\" is not ftp, sftp, webdav or davs");
    }
    std::string_view rest = text.substr(schemeEnd + 3);
    const auto pathStart = rest.find('/');
    std::string_view authority = rest.substr(0, pathStart);
    const std::string_view rawPath =
        pathStart == std::string_view::npos ? std::string_view("/") : rest.substr(pathStart);

    const auto at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        if (userInfo.find(':') != std::string_view::npos)
            return fail("a password does not belong in an address; it is read from the "
                        "password store or from standard input");
        const auto user = HVPercentDecode(userInfo);
        if (!user)
            return fail("the user name has a malformed %-escape");
        url.user = *user;
        authority.remove_prefix(at + 1);
    }
    std::string_view hostPart = authority;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return fail("the address's \"[\" is not closed");
        hostPart = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty() && authority.front() != ':')
            return fail("unexpected text after the host");
    } else {
        const auto colon = authority.find(':');
        hostPart = authority.substr(0, colon);
        authority = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    }
    if (!authority.empty()) {
        const std::string_view portText = authority.substr(1);
        int port = 0;
        const auto [end, status] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (status != std::errc() || end != portText.data() + portText.size() || port <= 0 ||
            port > 65535)
            return fail("the port is not a number from 1 to 65535");
        url.port = port;
    }
    if (hostPart.empty())
        return fail("it names no host");
    url.host = std::string(hostPart);
    const auto path = HVPercentDecode(rawPath);
    if (!path)
        return fail("the path has a malformed %-escape");
    url.path = *path;
    return url;
}

std::string HVRemoteURL::string() const {
    std::string text;
    if (protocol == HVRemoteProtocol::WebDAV)
        text = scheme == "https" ? "davs://" : "webdav://";
    else
        text = scheme + "://";
    if (!user.empty())
        text += HVPercentEncodePath(user) + "@";
    text += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    if (port > 0)
        text += ":" + std::to_string(port);
    return text + HVPercentEncodePath(path);
}
