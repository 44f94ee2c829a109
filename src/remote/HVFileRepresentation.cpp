#include "HVFileRepresentation.h"

#include <cstdio>

HVFileRepresentation::HVFileRepresentation(std::string name) : m_name(std::move(name)) {}

HVFileRepresentation::~HVFileRepresentation() = default;

HVFileRepresentation::FileType HVFileRepresentation::fileType() const {
    switch (m_mode & 0xF000) {
    case 0x4000:
        return Directory;
    case 0xA000:
        return SymbolicLink;
    case 0x1000:
        return FIFO;
    case 0x2000:
        return CharacterDevice;
    case 0x6000:
        return BlockDevice;
    case 0xC000:
        return Socket;
    default:
        return RegularFile;
    }
}

std::string HVFileRepresentation::sizeString() const {
    return fileType() == Directory ? std::string("--") : formattedStringForSize(m_size);
}

void HVFileRepresentation::setDelegate(std::weak_ptr<HVFileRepresentationDelegate> delegate) {
    m_delegate = std::move(delegate);
    // A listing has read them already (a read gives a file type, so mode 0 means unread):
    // reading again would stat every file of a big folder twice.
    if (!m_delegate.expired() && m_mode == 0)
        loadFileAttributes();
}

bool HVFileRepresentation::loadFileAttributes() {
    return true;
}

bool HVFileRepresentation::loadChildren() {
    m_loaded = true;
    return true;
}

bool HVFileRepresentation::reloadChildren() {
    return true;
}

void HVFileRepresentation::remove() {}

bool HVFileRepresentation::moveToPath(const std::string&, Context) {
    return false;
}

void HVFileRepresentation::rename(const std::string&, Context) {}

std::string HVFileRepresentation::formattedStringForSize(std::uint64_t size) {
    char text[64];
    if (size < 1024) {
        std::snprintf(text, sizeof text, "%.0f B", double(size));
        return text;
    }
    double value = double(size) / 1024;
    if (value < 1024) {
        std::snprintf(text, sizeof text, "%.0f KB", value);
        return text;
    }
    for (const char* unit : {"MB", "GB", "TB", "PB"}) {
        value /= 1024;
        if (value < 1024) {
            std::snprintf(text, sizeof text, "%.1f %s", value, unit);
            return text;
        }
    }
    return {};
}

std::string HVFileRepresentation::stringFromMode(std::uint16_t mode) {
    std::string text(11, '-');
    switch (mode & 0xF000) {
    case 0x4000:
        text[0] = 'd';
        break;
    case 0x2000:
        text[0] = 'c';
        break;
    case 0x6000:
        text[0] = 'b';
        break;
    case 0x8000:
        text[0] = '-';
        break;
    case 0xA000:
        text[0] = 'l';
        break;
    case 0xC000:
        text[0] = 's';
        break;
    case 0x1000:
        text[0] = 'p';
        break;
    case 0xE000:
        text[0] = 'w';
        break;
    default:
        text[0] = '?';
        break;
    }
    const auto triple = [&](int at, int shift, std::uint16_t special, char set, char unset) {
        const int bits = (mode >> shift) & 7;
        text[at] = bits & 4 ? 'r' : '-';
        text[at + 1] = bits & 2 ? 'w' : '-';
        const bool executable = bits & 1;
        if (mode & special)
            text[at + 2] = executable ? set : unset;
        else
            text[at + 2] = executable ? 'x' : '-';
    };
    triple(1, 6, 0x800, 's', 'S');
    triple(4, 3, 0x400, 's', 'S');
    triple(7, 0, 0x200, 't', 'T');
    text[10] = ' ';
    return text;
}

std::uint16_t HVFileRepresentation::modeFromString(const std::string& text) {
    if (text.size() < 10)
        return 0;
    std::uint16_t mode;
    switch (text[0]) {
    case 'b':
        mode = 0x6000;
        break;
    case 'c':
        mode = 0x2000;
        break;
    case 'd':
        mode = 0x4000;
        break;
    case 'p':
        mode = 0x1000;
        break;
    case 's':
        mode = 0xC000;
        break;
    case 'w':
        mode = 0xE000;
        break;
    case 'l':
        mode = 0xA000;
        break;
    default:
        mode = 0x8000;
        break;
    }
    const std::uint16_t readBits[] = {0x100, 0x20, 0x4};
    const std::uint16_t writeBits[] = {0x80, 0x10, 0x2};
    for (int i = 0; i < 3; ++i) {
        if (text[1 + 3 * i] == 'r')
            mode |= readBits[i];
        if (text[2 + 3 * i] == 'w')
            mode |= writeBits[i];
    }
    const char user = text[3], group = text[6], other = text[9];
    if (user == 'x' || user == 's')
        mode |= 0x40;
    if (user == 's' || user == 'S')
        mode |= 0x800;
    if (group == 'x' || group == 's')
        mode |= 0x8;
    if (group == 's' || group == 'S')
        mode |= 0x400;
    if (other == 'x' || other == 't')
        mode |= 0x1;
    if (other == 't' || other == 'T')
        mode |= 0x200;
    return mode;
}
