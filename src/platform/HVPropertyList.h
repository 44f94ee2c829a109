#pragma once

#include "HVError.h"
#include "HVPlistValue.h"

#include <optional>
#include <string>
#include <string_view>

enum class HVPlistFormat { XML, Binary };

// Reads and writes property lists (XML or binary) over libplist. Malformed input is an error,
// never a crash; writes replace the file atomically.
class HVPropertyList {
public:
    static std::optional<HVPlistValue> readFromFile(const std::string& path,
                                                    HVError* error = nullptr);
    // Detects XML or binary from the bytes themselves.
    static std::optional<HVPlistValue> readFromData(std::string_view bytes,
                                                    HVError* error = nullptr);

    static std::optional<std::string> serialize(const HVPlistValue& value, HVPlistFormat format,
                                                HVError* error = nullptr);
    static bool writeToFile(const HVPlistValue& value, const std::string& path,
                            HVPlistFormat format, HVError* error = nullptr);
};
