#pragma once

#include "HVError.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An encoding number: 0 means none chosen (detect) or an unknown name.
using HVStringEncoding = std::uint32_t;

inline constexpr HVStringEncoding HVNoStringEncoding = 0;
inline constexpr HVStringEncoding HVASCIIStringEncoding = 1;
inline constexpr HVStringEncoding HVUTF8StringEncoding = 4;
inline constexpr HVStringEncoding HVISOLatin1StringEncoding = 5;
inline constexpr HVStringEncoding HVUnicodeStringEncoding = 10; // UTF-16 with a byte-order mark
inline constexpr HVStringEncoding HVMacOSRomanStringEncoding = 30;
// The 8-bit encoding that decodes every byte, used when decoding or encoding fails.
inline constexpr HVStringEncoding HVSystemDefault8BitEncoding = HVISOLatin1StringEncoding;

// The order of UTF-16's bytes behind its byte-order mark. A file is written back in the order
// it was read in, so that saving an unchanged file changes no byte.
enum class HVByteOrder { LittleEndian, BigEndian };

// The warning code for a fallback decoding or a lossy encoding.
inline constexpr std::int64_t HVEncodingWarningCode = 16;

struct HVEncodingInfo {
    HVStringEncoding encoding;
    const char* canonicalName;
    // The ICU converter that reads and writes it.
    const char* converterName;
    // A name for menus.
    const char* displayName;
};

// Every text file is decoded and every text encoded here: naming, detection, decoding with a
// fallback, strict then lossy encoding.
class HVFileEncodings {
public:
    // The table of named encodings, in menu order.
    static const std::vector<HVEncodingInfo>& allEncodings();
    static const HVEncodingInfo* infoForEncoding(HVStringEncoding encoding);

    // Accepts a name after deleting every "-" and "_"; the rest compares exactly.
    static HVStringEncoding encodingFromString(std::string_view name);
    static std::optional<std::string> stringFromEncoding(HVStringEncoding encoding);
    // The encoding named by the preference "HVTextEncoding".
    static HVStringEncoding defaultEncoding();

    // Decodes the file. An encoding of 0 is detected and handed back. A decoding that needed
    // the fallback returns the text and sets the warning code 16 in error.
    static std::optional<std::u16string> createWithContentsOfFile(const std::string& path,
                                                                  HVStringEncoding& encoding,
                                                                  HVError* error = nullptr);
    static std::optional<std::u16string> createWithData(std::string_view data,
                                                        const std::string& path,
                                                        HVStringEncoding& encoding,
                                                        HVError* error = nullptr);

    // Encodes the text; 0 means the default encoding. A lossy encoding returns the bytes and
    // sets the warning code 16; the encoding actually used is handed back. UTF-16 is written
    // behind its byte-order mark in the given order.
    static std::optional<std::string>
    dataUsingEncoding(std::u16string_view text, HVStringEncoding& encoding,
                      HVError* error = nullptr, HVByteOrder order = HVByteOrder::LittleEndian);
    // The order of a UTF-16 text's bytes, by its byte-order mark (little-endian without one
    // that says otherwise).
    static HVByteOrder byteOrderOfData(std::string_view data);

    // The detection alone: the file name, then declarations in the first lines, then a UTF-16
    // byte-order mark, then the default. The bytes are consulted only when the file cannot be
    // read.
    static HVStringEncoding encodingForPath(const std::string& path, std::string_view data = {});
    static HVStringEncoding encodingFromFileName(const std::string& path);
    static HVStringEncoding encodingFromFileContents(const std::string& path,
                                                     std::string_view data = {});

    // Strict conversions without fallback: none when a byte or a character does not convert.
    static std::optional<std::u16string> decodeStrictly(std::string_view data,
                                                        HVStringEncoding encoding);
    static std::optional<std::string> encodeStrictly(std::u16string_view text,
                                                     HVStringEncoding encoding,
                                                     HVByteOrder order = HVByteOrder::LittleEndian);
};
