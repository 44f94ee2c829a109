#include "HVRemoteLogController.h"

#include "HVDispatcher.h"

#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at the start of text, or 0.
std::size_t validSequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t minimum = 0;
    char32_t value = 0;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    // C1 controls (U+0080 to U+009F) act as escapes on some terminals.
    if (value >= 0x80 && value <= 0x9F)
        return 0;
    return length;
}

void appendEscapedByte(std::string& out, unsigned char byte) {
    char buffer[5];
    std::snprintf(buffer, sizeof buffer, "\\x%02x", byte);
    out += buffer;
}

} // namespace

std::string HVEscapeControlCharacters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (c == '\n' || c == '\t') {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            appendEscapedByte(out, c);
            ++i;
            continue;
        }
        const std::size_t length = validSequenceLength(text.substr(i));
        if (length == 0) {
            // Escape the lead byte only; what follows may be a valid character again.
            appendEscapedByte(out, c);
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

void HVRemoteLogController::appendStringToLog(std::string_view text) {
    std::lock_guard lock(m_mutex);
    // A carriage return is how a client redraws a line (progress meters, prompts): in a log
    // each drawing gets a line of its own, and the returns before a line feed go.
    std::string lines;
    lines.reserve(text.size());
    for (const char c : text) {
        if (c == '\r') {
            m_pendingReturn = true;
            continue;
        }
        if (m_pendingReturn && c != '\n' && !m_atLineStart)
            lines += '\n';
        m_pendingReturn = false;
        lines += c;
        m_atLineStart = c == '\n';
    }
    std::string escaped = HVEscapeControlCharacters(lines);
    m_transcript += escaped;
    if (!m_watcher)
        return;
    const std::uint64_t generation = m_watcherGeneration;
    // The log may be gone by the time the main thread gets there.
    std::weak_ptr<HVRemoteLogController> weak = weak_from_this();
    HVDispatcher::main().post([weak, generation, escaped = std::move(escaped)] {
        const auto log = weak.lock();
        if (!log)
            return;
        Watcher watcher;
        {
            std::lock_guard lock(log->m_mutex);
            if (generation != log->m_watcherGeneration)
                return;
            watcher = log->m_watcher;
        }
        if (watcher)
            watcher(escaped);
    });
}

std::string HVRemoteLogController::transcript() const {
    std::lock_guard lock(m_mutex);
    return m_transcript;
}

void HVRemoteLogController::setWatcher(Watcher watcher) {
    std::lock_guard lock(m_mutex);
    m_watcher = std::move(watcher);
    ++m_watcherGeneration;
}
