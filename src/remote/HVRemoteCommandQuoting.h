#pragma once

#include "HVRemoteProtocol.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a path goes in a command: the clients expand wildcards in some places and not others.
enum class HVRemoteArgument {
    RemotePath,
    // sftp matches these against the server's names: ls, get's source, rm, chmod.
    GlobbedRemotePath,
    LocalPath,
    // sftp's put source.
    GlobbedLocalPath,
};

// Turns paths into arguments that each client hands on byte for byte: names are data, never
// commands. What cannot be typed safely is refused with a reason, never typed differently.
//   All: empty paths, control characters (C0, DEL and C1), bytes that are not UTF-8, and
//   relative local paths (tnftp reads "-" and "|..." as its own) are refused; a relative remote
//   path starting with "-" gets "./" in front so that no server or client reads an option.
//   FTP (tnftp, started with -g): double quotes, inside which everything but '"' is literal;
//   a '"' is typed as "\"" between two quoted parts.
//   SFTP (OpenSSH): double quotes with '\' and '"' escaped; the client escapes * ? [ ] inside
//   quotes itself, and in globbed places '{' and '}' are escaped as well.
//   WebDAV (cadaver): double quotes with '\' and '"' escaped; * ? [ are refused because the
//   client matches them against the collection's names.
class HVRemoteCommandQuoting {
public:
    static std::optional<std::string> quote(HVRemoteProtocol protocol, std::string_view path,
                                            HVRemoteArgument use = HVRemoteArgument::RemotePath,
                                            std::string* reason = nullptr);
    // The verb and its already quoted arguments, or none when the line would be longer than
    // the terminal accepts.
    static std::optional<std::string> commandLine(std::string_view verb,
                                                  const std::vector<std::string>& arguments,
                                                  std::string* reason = nullptr);
    static bool isValidUTF8(std::string_view text);
};
