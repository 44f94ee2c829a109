#include "HVRemoteFile.h"

void HVRemoteFile::setModeString(std::string mode) {
    if (!mode.empty() && mode.front() == 'd')
        isDirectory = true;
    if (!mode.empty() && mode.front() == 'l')
        isSymlink = true;
    m_modeString = std::move(mode);
}

std::optional<std::string> HVRemoteFile::effectiveModeString() const {
    if (m_modeString)
        return m_modeString;
    if (isDirectory)
        return std::string("d---------");
    if (isSymlink)
        return std::string("l---------");
    return std::nullopt;
}

std::string HVRemoteFile::sizeString() const {
    return isDirectory ? std::string("--") : std::to_string(size);
}
