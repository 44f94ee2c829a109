#include "HVFileEncodings.h"

#include "HVFileSystem.h"
#include "HVLocalization.h"
#include "HVPreferences.h"
#include "HVRegex.h"
#include "HVTextBuffer.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <unicode/ucnv.h>

namespace {

const std::vector<HVEncodingInfo> kEncodings = {
    {HVUTF8StringEncoding, "utf-8", "UTF-8", "Unicode (UTF-8)"},
    {HVUnicodeStringEncoding, "utf-16", "UTF-16", "Unicode (UTF-16)"},
    {HVASCIIStringEncoding, "us-ascii", "US-ASCII", "Western (ASCII)"},
    {HVISOLatin1StringEncoding, "iso-8859-1", "ISO-8859-1", "Western (ISO Latin 1)"},
    {0x0202, "iso-8859-2", "ISO-8859-2", "Central European (ISO Latin 2)"},
    {0x0203, "iso-8859-3", "ISO-8859-3", "Western (ISO Latin 3)"},
    {0x0204, "iso-8859-4", "ISO-8859-4", "Central European (ISO Latin 4)"},
    {0x0205, "iso-8859-5", "ISO-8859-5", "Cyrillic (ISO 8859-5)"},
    {0x0206, "iso-8859-6-i", "ISO-8859-6", "Arabic (ISO 8859-6)"},
    {0x0207, "iso-8859-7", "ISO-8859-7", "Greek (ISO 8859-7)"},
    {0x0208, "iso-8859-8-i", "ISO-8859-8", "Hebrew (ISO 8859-8)"},
    {0x0209, "iso-8859-9", "ISO-8859-9", "Turkish (ISO Latin 5)"},
    {0x020A, "iso-8859-10", "ISO-8859-10", "Nordic (ISO Latin 6)"},
    {0x020B, "iso-8859-11", "iso-8859-11", "Thai (ISO 8859-11)"},
    {0x020D, "iso-8859-13", "ISO-8859-13", "Baltic (ISO Latin 7)"},
    {0x020E, "iso-8859-14", "ISO-8859-14", "Celtic (ISO Latin 8)"},
    {0x020F, "iso-8859-15", "ISO-8859-15", "Western (ISO Latin 9)"},
    {0x0920, "euc-jp", "EUC-JP", "Japanese (EUC)"},
    {0x0A01, "shift-jis", "Shift_JIS", "Japanese (Shift JIS)"},
    {0x0820, "iso-2022-jp", "ISO-2022-JP", "Japanese (ISO 2022-JP)"},
    {0x0940, "euc-kr", "EUC-KR", "Korean (EUC)"},
    {0x0A05, "gb2312", "HZ-GB-2312", "Simplified Chinese (HZ GB 2312)"},
    {0x0A03, "big-5", "Big5", "Traditional Chinese (Big 5)"},
    {0x0A02, "koi8-r", "KOI8-R", "Cyrillic (KOI8-R)"},
    {0x0A04, "macintosh", "macintosh", "Western (Mac OS Roman)"},
    {HVMacOSRomanStringEncoding, "macintosh", "macintosh", "Western (Mac OS Roman)"},
    {0x0501, "windows-1250", "windows-1250", "Central European (Windows Latin 2)"},
    {0x0502, "windows-1251", "windows-1251", "Cyrillic (Windows)"},
    {0x0503, "windows-1253", "windows-1253", "Greek (Windows)"},
    {0x0504, "windows-1254", "windows-1254", "Turkish (Windows Latin 5)"},
    {0x0505, "windows-1255", "windows-1255", "Hebrew (Windows)"},
    {0x0506, "windows-1256", "windows-1256", "Arabic (Windows)"},
    {0x0507, "windows-1257", "windows-1257", "Baltic (Windows)"},
};

struct ConverterCloser {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &status);
    // An ambiguous alias is a warning, not a failure.
    if (U_FAILURE(status)) {
        ucnv_close(converter);
        return nullptr;
    }
    return Converter(converter);
}

// Sizes a buffer that is about to be filled, in huge pages where the kernel gives them: a large
// file's text then costs far fewer page faults.
template <typename String> void resizeForFilling(String& string, std::size_t size) {
    string.reserve(size);
    HVFileSystem::adviseHugePages(string.data(),
                                  string.capacity() * sizeof(typename String::value_type));
    string.resize(size);
}

// The exact length of a text in UTF-8, so that a large one is encoded without growing.
std::size_t utf8Length(std::u16string_view text) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c < 0x80)
            length += 1;
        else if (c < 0x800)
            length += 2;
        else if ((c & 0xFC00) == 0xD800 && i + 1 < text.size() && (text[i + 1] & 0xFC00) == 0xDC00)
            length += 4, ++i;
        else
            length += 3;
    }
    return length;
}

std::optional<std::u16string> toUnicode(std::string_view data, const char* converterName,
                                        bool strict) {
    Converter converter = openConverter(converterName);
    if (!converter)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    if (strict)
        ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                            &status);
    std::u16string text;
    resizeForFilling(text, data.size() + 16);
    const char* source = data.data();
    const char* sourceLimit = source + data.size();
    std::size_t produced = 0;
    for (;;) {
        char16_t* target = text.data() + produced;
        status = U_ZERO_ERROR;
        ucnv_toUnicode(converter.get(), &target, text.data() + text.size(), &source, sourceLimit,
                       nullptr, true, &status);
        produced = std::size_t(target - text.data());
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            resizeForFilling(text, text.size() * 2);
            continue;
        }
        if (U_FAILURE(status))
            return std::nullopt;
        break;
    }
    text.resize(produced);
    return text;
}

std::optional<std::string> fromUnicode(std::u16string_view text, const HVEncodingInfo& info,
                                       bool strict, HVByteOrder order = HVByteOrder::LittleEndian) {
    // UTF-16 is written behind its byte-order mark, little-endian unless the file was not.
    bool utf16 = info.encoding == HVUnicodeStringEncoding;
    bool bigEndian = order == HVByteOrder::BigEndian;
    Converter converter =
        openConverter(utf16 ? (bigEndian ? "UTF-16BE" : "UTF-16LE") : info.converterName);
    if (!converter)
        return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    if (strict) {
        ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &status);
    } else {
        // Converters differ in their substitute (0x1A, "?", multi-byte); use one for all.
        ucnv_setSubstString(converter.get(), u"?", 1, &status);
    }
    std::string bytes;
    std::size_t produced = 0;
    if (utf16) {
        bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        produced = 2;
    }
    bool utf8 = info.encoding == HVUTF8StringEncoding;
    resizeForFilling(bytes, produced + (utf8 ? utf8Length(text) : text.size()) + 16);
    const char16_t* source = text.data();
    const char16_t* sourceLimit = source + text.size();
    for (;;) {
        char* target = bytes.data() + produced;
        status = U_ZERO_ERROR;
        ucnv_fromUnicode(converter.get(), &target, bytes.data() + bytes.size(), &source,
                         sourceLimit, nullptr, true, &status);
        produced = std::size_t(target - bytes.data());
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            resizeForFilling(bytes, bytes.size() * 2);
            continue;
        }
        if (U_FAILURE(status))
            return std::nullopt;
        break;
    }
    bytes.resize(produced);
    return bytes;
}

// Detection reads declaration lines as Mac OS Roman.
const std::array<char16_t, 256>& macRomanTable() {
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> result{};
        std::string bytes(256, '\0');
        for (int i = 0; i < 256; ++i)
            bytes[std::size_t(i)] = char(i);
        auto text = toUnicode(bytes, "macintosh", false);
        for (int i = 0; i < 256; ++i)
            result[std::size_t(i)] =
                text && text->size() == 256 ? (*text)[std::size_t(i)] : char16_t(i);
        return result;
    }();
    return table;
}

// Hands out a source's bytes in pieces of at most 1,023 bytes, each ending after a line feed
// when there is one, as a line reader with a 1,024-byte buffer does.
class PieceReader {
public:
    explicit PieceReader(std::FILE* file) : m_file(file) {}
    explicit PieceReader(std::string_view data) : m_data(data) {}

    bool next(std::string& piece) {
        piece.clear();
        while (piece.size() < 1023) {
            int c = nextByte();
            if (c < 0)
                break;
            piece += char(c);
            if (c == '\n')
                break;
        }
        return !piece.empty();
    }

private:
    int nextByte() {
        if (!m_file)
            return m_position < m_data.size() ? static_cast<unsigned char>(m_data[m_position++])
                                              : -1;
        return std::getc(m_file);
    }

    std::FILE* m_file = nullptr;
    std::string_view m_data;
    std::size_t m_position = 0;
};

HVStringEncoding encodingDeclaredInLine(const std::u16string& line) {
    // Each thread compiles its own: a regex is used by one thread at a time.
    thread_local const std::unique_ptr<HVRegex> patterns[] = {
        HVRegex::initWithPattern(u"<\\?xml[^>]+encoding=\"([^\"]*)\"", 2049),
        HVRegex::initWithPattern(u"<meta[^>]+charset=([^\"]*)\"", 2049),
    };
    for (const auto& pattern : patterns) {
        auto match = pattern->copyMatchForString(line);
        if (!match)
            continue;
        HVRange capture = match->rangeForCapture(1);
        if (capture.location == HVNotFound)
            return HVNoStringEncoding;
        std::u16string name = line.substr(capture.location, capture.length);
        std::string ascii;
        for (char16_t c : name)
            ascii += c < 0x80 ? char(c) : '?';
        return HVFileEncodings::encodingFromString(ascii);
    }
    return HVNoStringEncoding;
}

HVStringEncoding scanDeclarations(PieceReader& reader) {
    const auto& table = macRomanTable();
    std::u16string line;
    std::string piece;
    int lines = 0;
    while (reader.next(piece)) {
        for (char byte : piece)
            line += table[static_cast<unsigned char>(byte)];
        char16_t last = line.back();
        if (last != u'\n' && last != u'\r')
            continue;
        if (HVStringEncoding encoding = encodingDeclaredInLine(line))
            return encoding;
        line.clear();
        if (++lines >= 30)
            return HVNoStringEncoding;
    }
    // The last line of a file need not end in a line break.
    return line.empty() ? HVNoStringEncoding : encodingDeclaredInLine(line);
}

HVError fallbackWarning() {
    std::string name = *HVFileEncodings::stringFromEncoding(HVSystemDefault8BitEncoding);
    return HVError(
        HVErrorDomain, HVEncodingWarningCode,
        HVLocalization::format(HVLocalization::localizedString("Opened using %@"), {name}));
}

std::optional<std::u16string> decode(std::string_view data, HVStringEncoding encoding,
                                     HVError* error) {
    if (auto text = HVFileEncodings::decodeStrictly(data, encoding))
        return text;
    auto text = HVFileEncodings::decodeStrictly(data, HVSystemDefault8BitEncoding);
    if (text)
        HVSetError(error, fallbackWarning());
    return text;
}

} // namespace

const std::vector<HVEncodingInfo>& HVFileEncodings::allEncodings() {
    return kEncodings;
}

const HVEncodingInfo* HVFileEncodings::infoForEncoding(HVStringEncoding encoding) {
    for (const auto& info : kEncodings) {
        if (info.encoding == encoding)
            return &info;
    }
    return nullptr;
}

HVStringEncoding HVFileEncodings::encodingFromString(std::string_view name) {
    std::string stripped;
    for (char c : name) {
        if (c != '-' && c != '_')
            stripped += c;
    }
    if (stripped.empty())
        return HVNoStringEncoding;
    for (const auto& info : kEncodings) {
        std::string accepted;
        for (const char* c = info.canonicalName; *c; ++c) {
            if (*c != '-' && *c != '_')
                accepted += *c;
        }
        if (accepted == stripped)
            return info.encoding;
    }
    return HVNoStringEncoding;
}

std::optional<std::string> HVFileEncodings::stringFromEncoding(HVStringEncoding encoding) {
    if (const HVEncodingInfo* info = infoForEncoding(encoding))
        return std::string(info->canonicalName);
    return std::nullopt;
}

HVStringEncoding HVFileEncodings::defaultEncoding() {
    auto name = HVPreferences::sharedInstance().stringForKey("HVTextEncoding");
    return encodingFromString(name.value_or("utf-8"));
}

HVStringEncoding HVFileEncodings::encodingFromFileName(const std::string& path) {
    std::string name = HVFileSystem::lastPathComponent(path);
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t dot = name.find('.', start);
        std::string part =
            name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (HVStringEncoding encoding = encodingFromString(part))
            return encoding;
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return HVNoStringEncoding;
}

HVStringEncoding HVFileEncodings::encodingFromFileContents(const std::string& path,
                                                           std::string_view data) {
    if (std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb")) {
        PieceReader reader(file);
        HVStringEncoding encoding = scanDeclarations(reader);
        std::fclose(file);
        return encoding;
    }
    // Bytes that have no readable file (a download held in memory) are scanned themselves.
    if (data.empty())
        return HVNoStringEncoding;
    PieceReader reader(data);
    return scanDeclarations(reader);
}

HVStringEncoding HVFileEncodings::encodingForPath(const std::string& path, std::string_view data) {
    if (HVStringEncoding encoding = encodingFromFileName(path))
        return encoding;
    if (HVStringEncoding encoding = encodingFromFileContents(path, data))
        return encoding;
    unsigned char head[2] = {0, 0};
    std::size_t count = 0;
    if (std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb")) {
        count = std::fread(head, 1, 2, file);
        std::fclose(file);
    } else if (data.size() >= 2) {
        head[0] = static_cast<unsigned char>(data[0]);
        head[1] = static_cast<unsigned char>(data[1]);
        count = 2;
    }
    if (count == 2 &&
        ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)))
        return HVUnicodeStringEncoding;
    return defaultEncoding();
}

// Encodings make about as many UTF-16 code units as they have bytes, or fewer, so a file over a
// text buffer's maximum length in bytes is refused before it is read; the decoded text is
// checked again.
static bool fitsInBuffer(std::size_t length, const std::string& path, HVError* error) {
    if (length <= HVTextBuffer::maximumLength)
        return true;
    HVSetError(error, HVError::posix(EFBIG, path, "Cannot open"));
    return false;
}

static std::optional<std::u16string> decodeToFit(std::string_view data, HVStringEncoding encoding,
                                                 const std::string& path, HVError* error) {
    if (!fitsInBuffer(data.size(), path, error))
        return std::nullopt;
    auto text = decode(data, encoding, error);
    if (text && !fitsInBuffer(text->size(), path, error))
        return std::nullopt;
    return text;
}

std::optional<std::u16string> HVFileEncodings::createWithContentsOfFile(const std::string& path,
                                                                        HVStringEncoding& encoding,
                                                                        HVError* error) {
    auto data = HVFileSystem::readFile(path, error, nullptr, HVTextBuffer::maximumLength);
    if (!data)
        return std::nullopt;
    if (encoding == HVNoStringEncoding)
        encoding = encodingForPath(path);
    return decodeToFit(*data, encoding, path, error);
}

std::optional<std::u16string> HVFileEncodings::createWithData(std::string_view data,
                                                              const std::string& path,
                                                              HVStringEncoding& encoding,
                                                              HVError* error) {
    if (encoding == HVNoStringEncoding)
        encoding = encodingForPath(path, data);
    return decodeToFit(data, encoding, path, error);
}

HVByteOrder HVFileEncodings::byteOrderOfData(std::string_view data) {
    return data.size() >= 2 && data[0] == '\xFE' && data[1] == '\xFF' ? HVByteOrder::BigEndian
                                                                      : HVByteOrder::LittleEndian;
}

std::optional<std::string> HVFileEncodings::dataUsingEncoding(std::u16string_view text,
                                                              HVStringEncoding& encoding,
                                                              HVError* error, HVByteOrder order) {
    if (encoding == HVNoStringEncoding)
        encoding = defaultEncoding();
    if (auto bytes = encodeStrictly(text, encoding, order))
        return bytes;
    std::optional<std::string> bytes;
    if (const HVEncodingInfo* info = infoForEncoding(encoding))
        bytes = fromUnicode(text, *info, false, order);
    if (!bytes) {
        encoding = HVSystemDefault8BitEncoding;
        bytes = fromUnicode(text, *infoForEncoding(encoding), false);
    }
    if (!bytes) {
        HVSetError(error, HVError(HVPlatformErrorDomain, HVFileWriteUnknownError,
                                  "The text could not be encoded"));
        return std::nullopt;
    }
    std::string name = stringFromEncoding(encoding).value_or("?");
    HVSetError(error,
               HVError(HVErrorDomain, HVEncodingWarningCode,
                       HVLocalization::localizedString("ENCODING_SAVE_WARNING_TITLE"),
                       HVLocalization::format(
                           HVLocalization::localizedString("ENCODING_SAVE_WARNING_BODY"), {name})));
    return bytes;
}

std::optional<std::u16string> HVFileEncodings::decodeStrictly(std::string_view data,
                                                              HVStringEncoding encoding) {
    const HVEncodingInfo* info = infoForEncoding(encoding);
    if (!info)
        return std::nullopt;
    return toUnicode(data, info->converterName, true);
}

std::optional<std::string> HVFileEncodings::encodeStrictly(std::u16string_view text,
                                                           HVStringEncoding encoding,
                                                           HVByteOrder order) {
    const HVEncodingInfo* info = infoForEncoding(encoding);
    if (!info)
        return std::nullopt;
    return fromUnicode(text, *info, true, order);
}
