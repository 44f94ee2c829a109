#include "HVRemoteProtocol.h"

std::string_view HVRemoteProtocolName(HVRemoteProtocol protocol) {
    switch (protocol) {
    case HVRemoteProtocol::FTP:
        return "FTP";
    case HVRemoteProtocol::SFTP:
        return "SFTP";
    case HVRemoteProtocol::WebDAV:
        return "WebDAV";
    }
    return "FTP";
}
