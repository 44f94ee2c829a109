#include "HVPlistValue.h"

std::optional<bool> HVPlistValue::boolValue() const {
    if (auto b = boolean())
        return *b;
    if (auto i = integer())
        return *i != 0;
    if (auto r = real())
        return *r != 0.0;
    return std::nullopt;
}

std::optional<std::int64_t> HVPlistValue::integerValue() const {
    if (auto i = integer())
        return *i;
    if (auto b = boolean())
        return *b ? 1 : 0;
    if (auto r = real())
        return std::int64_t(*r);
    return std::nullopt;
}

std::optional<double> HVPlistValue::doubleValue() const {
    if (auto r = real())
        return *r;
    if (auto i = integer())
        return double(*i);
    if (auto b = boolean())
        return *b ? 1.0 : 0.0;
    return std::nullopt;
}

std::optional<std::string> HVPlistValue::stringValue() const {
    if (auto s = string())
        return *s;
    return std::nullopt;
}

const HVPlistValue* HVPlistValue::objectForKey(std::string_view key) const {
    auto dict = dictionary();
    if (!dict)
        return nullptr;
    auto it = dict->find(key);
    return it == dict->end() ? nullptr : &it->second;
}

const std::string* HVPlistValue::stringForKey(std::string_view key) const {
    auto value = objectForKey(key);
    return value ? value->string() : nullptr;
}

const HVPlistValue::Array* HVPlistValue::arrayForKey(std::string_view key) const {
    auto value = objectForKey(key);
    return value ? value->array() : nullptr;
}

const HVPlistValue::Dictionary* HVPlistValue::dictionaryForKey(std::string_view key) const {
    auto value = objectForKey(key);
    return value ? value->dictionary() : nullptr;
}

std::optional<bool> HVPlistValue::boolForKey(std::string_view key) const {
    auto value = objectForKey(key);
    return value ? value->boolValue() : std::nullopt;
}

std::optional<std::int64_t> HVPlistValue::integerForKey(std::string_view key) const {
    auto value = objectForKey(key);
    return value ? value->integerValue() : std::nullopt;
}
