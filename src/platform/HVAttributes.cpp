#include "HVAttributes.h"

#include <algorithm>
#include <functional>

namespace {

std::size_t hashValue(const HVAttributeValue& value) {
    return std::visit(
        [](const auto& v) -> std::size_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, HVColor>)
                return std::hash<double>()(v.red) ^ (std::hash<double>()(v.green) << 1) ^
                       (std::hash<double>()(v.blue) << 2) ^ (std::hash<double>()(v.alpha) << 3);
            else if constexpr (std::is_same_v<T, HVObjectReference>)
                return std::hash<const void*>()(v.address());
            else if constexpr (std::is_same_v<T, std::shared_ptr<const HVTextAttachment>>)
                return std::hash<const void*>()(v.get());
            else
                return std::hash<T>()(v);
        },
        value);
}

} // namespace

HVAttributes::HVAttributes(std::initializer_list<Entry> entries) {
    for (const auto& entry : entries)
        *this = setting(entry.first, entry.second);
}

const HVAttributeValue* HVAttributes::value(std::string_view name) const {
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), name,
                               [](const Entry& entry, std::string_view key) {
                                   return std::string_view(entry.first) < key;
                               });
    if (it == m_entries.end() || it->first != name)
        return nullptr;
    return &it->second;
}

bool HVAttributes::boolValue(std::string_view name) const {
    auto v = value(name);
    auto b = v ? std::get_if<bool>(v) : nullptr;
    return b && *b;
}

std::optional<std::int64_t> HVAttributes::integerValue(std::string_view name) const {
    auto v = value(name);
    auto i = v ? std::get_if<std::int64_t>(v) : nullptr;
    return i ? std::optional<std::int64_t>(*i) : std::nullopt;
}

const HVColor* HVAttributes::color(std::string_view name) const {
    auto v = value(name);
    return v ? std::get_if<HVColor>(v) : nullptr;
}

const HVObjectReference* HVAttributes::reference(std::string_view name) const {
    auto v = value(name);
    return v ? std::get_if<HVObjectReference>(v) : nullptr;
}

std::shared_ptr<const HVTextAttachment> HVAttributes::attachment() const {
    auto v = value(HVAttachmentAttribute);
    auto a = v ? std::get_if<std::shared_ptr<const HVTextAttachment>>(v) : nullptr;
    return a ? *a : nullptr;
}

HVAttributes HVAttributes::setting(std::string_view name, HVAttributeValue newValue) const {
    HVAttributes result = *this;
    auto it = std::lower_bound(result.m_entries.begin(), result.m_entries.end(), name,
                               [](const Entry& entry, std::string_view key) {
                                   return std::string_view(entry.first) < key;
                               });
    if (it != result.m_entries.end() && it->first == name)
        it->second = std::move(newValue);
    else
        result.m_entries.insert(it, Entry(std::string(name), std::move(newValue)));
    return result;
}

HVAttributes HVAttributes::removing(std::string_view name) const {
    HVAttributes result = *this;
    auto it = std::find_if(result.m_entries.begin(), result.m_entries.end(),
                           [&](const Entry& entry) { return entry.first == name; });
    if (it != result.m_entries.end())
        result.m_entries.erase(it);
    return result;
}

HVAttributes HVAttributes::adding(const HVAttributes& other) const {
    if (empty())
        return other;
    HVAttributes result = *this;
    for (const auto& [name, value] : other)
        result = result.setting(name, value);
    return result;
}

std::size_t HVAttributes::hash() const {
    std::size_t h = m_entries.size();
    for (const auto& [name, value] : m_entries)
        h = h * 31 + (std::hash<std::string>()(name) ^ (hashValue(value) << 1));
    return h;
}
