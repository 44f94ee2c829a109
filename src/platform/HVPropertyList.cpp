#include "HVPropertyList.h"

#include "HVFileSystem.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <plist/plist.h>

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch property lists count from.
constexpr double kReferenceDateOffset = 978307200.0;
// Deeper nesting than this is not a real property list; stop before the stack does.
constexpr int kMaxDepth = 256;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(plist_t(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

HVError malformed(std::string reason, const std::string& path = {}) {
    std::string description = path.empty() ? std::string("The property list is not valid")
                                           : "The property list \"" + path + "\" is not valid";
    HVError error(HVPlatformErrorDomain, HVFileReadCorruptFileError, description, reason);
    if (!path.empty())
        error.setUserInfoValue(HVFilePathErrorKey, path);
    return error;
}

std::optional<HVPlistValue> convert(plist_t node, int depth, std::string* problem) {
    if (depth > kMaxDepth) {
        *problem = "It is nested too deeply.";
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return HVPlistValue(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        // Negative integers are stored in two's complement.
        return HVPlistValue(static_cast<long long>(static_cast<std::int64_t>(value)));
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return HVPlistValue(static_cast<long long>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return HVPlistValue(value);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return HVPlistValue(std::string(text ? text : "", text ? length : 0));
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return HVPlistValue(HVPlistDate{double(sec) + double(usec) / 1e6 + kReferenceDateOffset});
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        HVPlistValue::Data data;
        if (bytes)
            data.assign(reinterpret_cast<const uint8_t*>(bytes),
                        reinterpret_cast<const uint8_t*>(bytes) + length);
        return HVPlistValue(std::move(data));
    }
    case PLIST_ARRAY: {
        HVPlistValue::Array array;
        uint32_t count = plist_array_get_size(node);
        array.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            auto item = convert(plist_array_get_item(node, i), depth + 1, problem);
            if (!item)
                return std::nullopt;
            array.push_back(std::move(*item));
        }
        return HVPlistValue(std::move(array));
    }
    case PLIST_DICT: {
        HVPlistValue::Dictionary dictionary;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        if (!iter)
            return HVPlistValue(std::move(dictionary));
        for (;;) {
            char* key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            auto item = convert(value, depth + 1, problem);
            if (!item) {
                std::free(key);
                std::free(iter);
                return std::nullopt;
            }
            dictionary.insert_or_assign(key ? std::string(key) : std::string(), std::move(*item));
            std::free(key);
        }
        std::free(iter);
        return HVPlistValue(std::move(dictionary));
    }
    default:
        *problem = "It holds a value of an unknown type.";
        return std::nullopt;
    }
}

plist_t build(const HVPlistValue& value, std::string* problem) {
    switch (value.type()) {
    case HVPlistValue::Type::None:
        *problem = "An empty value cannot be written to a property list.";
        return nullptr;
    case HVPlistValue::Type::Boolean:
        return plist_new_bool(*value.boolean() ? 1 : 0);
    case HVPlistValue::Type::Integer:
        return plist_new_uint(static_cast<uint64_t>(*value.integer()));
    case HVPlistValue::Type::Real:
        return plist_new_real(*value.real());
    case HVPlistValue::Type::String:
        return plist_new_string(value.string()->c_str());
    case HVPlistValue::Type::Date: {
        double since2001 = value.date()->secondsSince1970 - kReferenceDateOffset;
        double whole = std::floor(since2001);
        if (whole < double(std::numeric_limits<int32_t>::min()) ||
            whole > double(std::numeric_limits<int32_t>::max())) {
            *problem = "A date is out of the range a property list can hold.";
            return nullptr;
        }
        return plist_new_date(int32_t(whole), int32_t(std::lround((since2001 - whole) * 1e6)));
    }
    case HVPlistValue::Type::Data: {
        const auto& data = *value.data();
        return plist_new_data(reinterpret_cast<const char*>(data.data()), data.size());
    }
    case HVPlistValue::Type::Array: {
        plist_t array = plist_new_array();
        for (const auto& item : *value.array()) {
            plist_t node = build(item, problem);
            if (!node) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, node);
        }
        return array;
    }
    case HVPlistValue::Type::Dictionary: {
        plist_t dict = plist_new_dict();
        for (const auto& [key, item] : *value.dictionary()) {
            plist_t node = build(item, problem);
            if (!node) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, key.c_str(), node);
        }
        return dict;
    }
    }
    return nullptr;
}

std::optional<HVPlistValue> parse(std::string_view bytes, const std::string& path, HVError* error) {
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        HVSetError(error, malformed("It is too large.", path));
        return std::nullopt;
    }
    if (bytes.empty()) {
        HVSetError(error, malformed("It is empty.", path));
        return std::nullopt;
    }
    plist_t root = nullptr;
    if (plist_is_binary(bytes.data(), uint32_t(bytes.size())))
        plist_from_bin(bytes.data(), uint32_t(bytes.size()), &root);
    else
        plist_from_xml(bytes.data(), uint32_t(bytes.size()), &root);
    if (!root) {
        HVSetError(error, malformed("It could not be parsed as XML or binary.", path));
        return std::nullopt;
    }
    PlistPtr owner(root);
    std::string problem;
    auto value = convert(root, 0, &problem);
    if (!value)
        HVSetError(error, malformed(problem, path));
    return value;
}

} // namespace

std::optional<HVPlistValue> HVPropertyList::readFromFile(const std::string& path, HVError* error) {
    auto bytes = HVFileSystem::readFile(path, error);
    if (!bytes)
        return std::nullopt;
    return parse(*bytes, path, error);
}

std::optional<HVPlistValue> HVPropertyList::readFromData(std::string_view bytes, HVError* error) {
    return parse(bytes, {}, error);
}

std::optional<std::string> HVPropertyList::serialize(const HVPlistValue& value,
                                                     HVPlistFormat format, HVError* error) {
    std::string problem;
    plist_t root = build(value, &problem);
    if (!root) {
        HVSetError(error, HVError(HVPlatformErrorDomain, HVFileWriteUnknownError,
                                  "The property list cannot be written", problem));
        return std::nullopt;
    }
    PlistPtr owner(root);
    char* out = nullptr;
    uint32_t length = 0;
    std::string result;
    if (format == HVPlistFormat::XML) {
        plist_to_xml(root, &out, &length);
        if (out)
            result.assign(out, length);
        plist_to_xml_free(out);
    } else {
        plist_to_bin(root, &out, &length);
        if (out)
            result.assign(out, length);
        plist_to_bin_free(out);
    }
    if (result.empty()) {
        HVSetError(error, HVError(HVPlatformErrorDomain, HVFileWriteUnknownError,
                                  "The property list cannot be written"));
        return std::nullopt;
    }
    return result;
}

bool HVPropertyList::writeToFile(const HVPlistValue& value, const std::string& path,
                                 HVPlistFormat format, HVError* error) {
    auto bytes = serialize(value, format, error);
    if (!bytes)
        return false;
    return HVFileSystem::writeFileAtomically(path, *bytes, error);
}
