#pragma once

#include <string_view>

// The kind of server a connection talks to; the values are stored in preferences and projects.
enum class HVRemoteProtocol : int { FTP = 0, SFTP = 1, WebDAV = 2 };

// Connection states; the values are read by the actions and the queue.
enum class HVConnectionState : int {
    NeverLaunched = 0,
    Launched = 1,
    Reading = 2,
    AtPrompt = 3,
    WaitingForInput = 4,
    Closing = 5,
    Killed = 6,
};

std::string_view HVRemoteProtocolName(HVRemoteProtocol protocol);
