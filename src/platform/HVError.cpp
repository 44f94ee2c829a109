#include "HVError.h"

#include <cstring>

HVError::HVError(std::string_view domain, std::int64_t code, std::string description,
                 std::string recoverySuggestion, std::vector<std::string> recoveryOptions)
    : m_domain(domain), m_code(code), m_description(std::move(description)),
      m_recoverySuggestion(std::move(recoverySuggestion)),
      m_recoveryOptions(std::move(recoveryOptions)) {}

HVError HVError::posix(int errnoValue, std::string_view path, std::string_view what) {
    std::string description(what);
    if (!path.empty()) {
        description += " \"";
        description += path;
        description += "\"";
    }
    description += ": ";
    description += std::strerror(errnoValue);
    HVError error(HVPlatformErrorDomain, errnoValue, std::move(description));
    if (!path.empty())
        error.setUserInfoValue(HVFilePathErrorKey, std::string(path));
    return error;
}

void HVError::setUserInfoValue(std::string_view key, HVPlistValue value) {
    m_userInfo.insert_or_assign(std::string(key), std::move(value));
}

const HVPlistValue* HVError::userInfoValue(std::string_view key) const {
    auto it = m_userInfo.find(key);
    return it == m_userInfo.end() ? nullptr : &it->second;
}

bool HVError::isLowPriority() const {
    auto value = userInfoValue(HVIsLowPriorityErrorKey);
    return value && value->boolValue().value_or(false);
}

void HVError::setLowPriority(bool lowPriority) {
    setUserInfoValue(HVIsLowPriorityErrorKey, lowPriority);
}

std::string HVError::fullDescription() const {
    std::string text = m_description.empty() ? std::string("Unknown error") : m_description;
    text += " (" + m_domain + " " + std::to_string(m_code) + ")";
    if (!m_recoverySuggestion.empty())
        text += ": " + m_recoverySuggestion;
    return text;
}
