#pragma once

#include "HVPlistValue.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The application's own error domain and its codes.
inline constexpr std::string_view HVErrorDomain = "com.ternwick.halvet.error";
// The second application domain (a blank completion key).
inline constexpr std::string_view HVGeneralErrorDomain = "com.ternwick.halvet";
// Errors of the operating system and its files: the code is the errno value, or one of the
// generic codes below.
inline constexpr std::string_view HVPlatformErrorDomain = "com.ternwick.halvet.platform";

// Generic platform codes for failures that have no errno of their own.
enum HVPlatformErrorCode : std::int64_t {
    HVFileReadUnknownError = 256,
    HVFileReadCorruptFileError = 259,
    HVFileWriteUnknownError = 512,
};

// User-info keys.
inline constexpr std::string_view HVIsLowPriorityErrorKey = "HVIsLowPriorityError";
inline constexpr std::string_view HVFilePathErrorKey = "HVFilePath";
inline constexpr std::string_view HVUnderlyingErrorKey = "HVUnderlyingError";
// What a server or a client program said when it refused: shown with the alert.
inline constexpr std::string_view HVRemoteReasonErrorKey = "HVRemoteReason";

// A failure or a warning, returned to the caller and never thrown.
class HVError {
public:
    HVError() = default;
    HVError(std::string_view domain, std::int64_t code, std::string description = {},
            std::string recoverySuggestion = {}, std::vector<std::string> recoveryOptions = {});

    // An errno failure on a path, described the way a user should read it.
    static HVError posix(int errnoValue, std::string_view path, std::string_view what);

    const std::string& domain() const { return m_domain; }
    std::int64_t code() const { return m_code; }
    const std::string& description() const { return m_description; }
    const std::string& recoverySuggestion() const { return m_recoverySuggestion; }
    const std::vector<std::string>& recoveryOptions() const { return m_recoveryOptions; }
    const HVPlistValue::Dictionary& userInfo() const { return m_userInfo; }

    void setDescription(std::string description) { m_description = std::move(description); }
    void setRecoverySuggestion(std::string text) { m_recoverySuggestion = std::move(text); }
    void setRecoveryOptions(std::vector<std::string> options) {
        m_recoveryOptions = std::move(options);
    }
    void setUserInfoValue(std::string_view key, HVPlistValue value);
    const HVPlistValue* userInfoValue(std::string_view key) const;

    // Shown in the status bar as a warning instead of as an alert.
    bool isLowPriority() const;
    void setLowPriority(bool lowPriority);

    bool is(std::string_view domain, std::int64_t code) const {
        return m_domain == domain && m_code == code;
    }
    // "description (domain code)" plus the suggestion: for logs and the command line.
    std::string fullDescription() const;

private:
    std::string m_domain;
    std::int64_t m_code = 0;
    std::string m_description;
    std::string m_recoverySuggestion;
    std::vector<std::string> m_recoveryOptions;
    HVPlistValue::Dictionary m_userInfo;
};

// Stores an error through an optional out-parameter.
inline void HVSetError(HVError* out, HVError error) {
    if (out)
        *out = std::move(error);
}
