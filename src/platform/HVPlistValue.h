#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A point in time as property lists store it: seconds since 1970-01-01 UTC.
struct HVPlistDate {
    double secondsSince1970 = 0;
    friend bool operator==(const HVPlistDate&, const HVPlistDate&) = default;
};

// One property-list value: none, boolean, integer, real, string (UTF-8), date, data, array or
// dictionary. Values nest and copy deeply.
class HVPlistValue {
public:
    using Array = std::vector<HVPlistValue>;
    using Dictionary = std::map<std::string, HVPlistValue, std::less<>>;
    using Data = std::vector<std::uint8_t>;

    enum class Type { None, Boolean, Integer, Real, String, Date, Data, Array, Dictionary };

    HVPlistValue() = default;
    HVPlistValue(bool value) : m_value(value) {}
    HVPlistValue(int value) : m_value(std::int64_t(value)) {}
    HVPlistValue(long value) : m_value(std::int64_t(value)) {}
    HVPlistValue(long long value) : m_value(std::int64_t(value)) {}
    HVPlistValue(unsigned value) : m_value(std::int64_t(value)) {}
    HVPlistValue(double value) : m_value(value) {}
    HVPlistValue(const char* value) : m_value(std::string(value)) {}
    HVPlistValue(std::string value) : m_value(std::move(value)) {}
    HVPlistValue(std::string_view value) : m_value(std::string(value)) {}
    HVPlistValue(HVPlistDate value) : m_value(value) {}
    HVPlistValue(Data value) : m_value(std::move(value)) {}
    HVPlistValue(Array value) : m_value(std::move(value)) {}
    HVPlistValue(Dictionary value) : m_value(std::move(value)) {}

    Type type() const { return Type(m_value.index()); }
    bool isNone() const { return type() == Type::None; }
    bool isBoolean() const { return type() == Type::Boolean; }
    bool isInteger() const { return type() == Type::Integer; }
    bool isReal() const { return type() == Type::Real; }
    bool isNumber() const { return isBoolean() || isInteger() || isReal(); }
    bool isString() const { return type() == Type::String; }
    bool isDate() const { return type() == Type::Date; }
    bool isData() const { return type() == Type::Data; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }

    // Exact-type access: nullptr when the value holds another type.
    const bool* boolean() const { return std::get_if<bool>(&m_value); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&m_value); }
    const double* real() const { return std::get_if<double>(&m_value); }
    const std::string* string() const { return std::get_if<std::string>(&m_value); }
    const HVPlistDate* date() const { return std::get_if<HVPlistDate>(&m_value); }
    const Data* data() const { return std::get_if<Data>(&m_value); }
    const Array* array() const { return std::get_if<Array>(&m_value); }
    Array* array() { return std::get_if<Array>(&m_value); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&m_value); }
    Dictionary* dictionary() { return std::get_if<Dictionary>(&m_value); }

    // Numeric readings in the forgiving way preferences are read: booleans, integers and reals
    // convert into one another; anything else is absent.
    std::optional<bool> boolValue() const;
    std::optional<std::int64_t> integerValue() const;
    std::optional<double> doubleValue() const;
    std::optional<std::string> stringValue() const;

    // Dictionary lookup; nullptr when this is not a dictionary or the key is missing.
    const HVPlistValue* objectForKey(std::string_view key) const;
    // Typed lookups in a dictionary: absent when missing or of another type.
    const std::string* stringForKey(std::string_view key) const;
    const Array* arrayForKey(std::string_view key) const;
    const Dictionary* dictionaryForKey(std::string_view key) const;
    std::optional<bool> boolForKey(std::string_view key) const;
    std::optional<std::int64_t> integerForKey(std::string_view key) const;

    friend bool operator==(const HVPlistValue&, const HVPlistValue&) = default;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, HVPlistDate, Data, Array,
                 Dictionary>
        m_value;
};
