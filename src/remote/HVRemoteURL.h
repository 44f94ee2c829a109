#pragma once

#include "HVError.h"
#include "HVPercentEncoding.h"
#include "HVRemoteProtocol.h"

#include <optional>
#include <string>
#include <string_view>

// A remote file named as "sftp://user@host:2222/dir/file", "ftp://…", "webdav://…" (WebDAV over
// http) or "davs://…" (over https). User and path are percent-decoded; a password in the URL is
// refused, since it would show in process lists and shell histories.
struct HVRemoteURL {
    HVRemoteProtocol protocol = HVRemoteProtocol::FTP;
    // "http" or "https" for WebDAV; the URL's own scheme otherwise.
    std::string scheme;
    std::string user;
    std::string host;
    // 0 when the URL names none.
    int port = 0;
    // Always begins with "/".
    std::string path;

    static std::optional<HVRemoteURL> parse(std::string_view text, HVError* error = nullptr);
    // The URL again, with the path percent-encoded.
    std::string string() const;
};

// "%41" → "A"; none when an escape is malformed.
std::optional<std::string> HVPercentDecode(std::string_view text);
