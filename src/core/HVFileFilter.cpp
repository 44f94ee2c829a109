#include "HVFileFilter.h"

#include "HVError.h"
#include "HVLocalization.h"
#include "HVRegex.h"

HVFileFilter::HVFileFilter() : m_title(HVLocalization::localizedString("New Filter")) {
    validateLocked();
}

HVFileFilter::HVFileFilter(std::string_view pattern)
    : m_title(pattern), m_pattern(std::string(pattern)) {
    validateLocked();
}

HVFileFilter::~HVFileFilter() = default;

HVFileFilter::HVFileFilter(const HVFileFilter& other) {
    std::lock_guard lock(other.m_mutex);
    m_title = other.m_title;
    m_pattern = other.m_pattern;
    m_enabled = other.m_enabled;
    m_valid = other.m_valid;
}

HVFileFilter& HVFileFilter::operator=(const HVFileFilter& other) {
    if (this == &other)
        return *this;
    std::scoped_lock lock(m_mutex, other.m_mutex);
    m_title = other.m_title;
    if (m_pattern != other.m_pattern) {
        m_pattern = other.m_pattern;
        m_regex.reset();
        m_compileFailed = false;
    }
    m_enabled = other.m_enabled;
    m_valid = other.m_valid;
    m_modified = false;
    return *this;
}

std::shared_ptr<HVFileFilter> HVFileFilter::filterWithPattern(std::string_view pattern) {
    return std::make_shared<HVFileFilter>(pattern);
}

std::shared_ptr<HVFileFilter> HVFileFilter::initWithPlist(const HVPlistValue& plist,
                                                          HVError* error) {
    if (!plist.isDictionary()) {
        HVSetError(error, HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                                  "A filter is not a dictionary."));
        return nullptr;
    }
    auto filter = std::make_shared<HVFileFilter>();
    std::string problems;
    auto wrongType = [&](std::string_view key) {
        problems += (problems.empty() ? "" : " ");
        problems += "Its \"" + std::string(key) + "\" has the wrong type.";
    };

    filter->m_title.clear();
    if (auto title = plist.objectForKey("Title")) {
        if (title->isString())
            filter->m_title = *title->string();
        else
            wrongType("Title");
    }
    if (auto regex = plist.objectForKey("Regex")) {
        if (regex->isString())
            filter->m_pattern = *regex->string();
        else
            wrongType("Regex");
    }
    if (auto enabled = plist.objectForKey("Enabled")) {
        // Integers 0 and 1 are read as booleans, as other property-list readers do.
        if (auto value = enabled->boolValue(); value && !enabled->isReal())
            filter->m_enabled = *value;
        else
            wrongType("Enabled");
    }
    filter->validateLocked();
    if (!problems.empty()) {
        std::string name = filter->m_title.empty() ? std::string("A filter")
                                                   : "The filter \"" + filter->m_title + "\"";
        HVSetError(error, HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                                  name + " is not entirely readable.", problems));
    }
    return filter;
}

HVPlistValue HVFileFilter::plistRepresentation() const {
    std::lock_guard lock(m_mutex);
    HVPlistValue::Dictionary dictionary;
    if (!m_title.empty())
        dictionary["Title"] = m_title;
    if (m_pattern)
        dictionary["Regex"] = *m_pattern;
    dictionary["Enabled"] = m_enabled;
    return HVPlistValue(std::move(dictionary));
}

bool HVFileFilter::matchesString(std::string_view name) const {
    std::lock_guard lock(m_mutex);
    // An empty pattern would match every name and hide a whole project: it matches nothing.
    if (!m_enabled || !m_pattern || m_pattern->empty() || m_compileFailed)
        return false;
    if (!m_regex) {
        m_regex = HVRegex::initWithPattern(std::string_view(*m_pattern), regexOptions);
        if (!m_regex) {
            m_compileFailed = true;
            return false;
        }
    }
    return m_regex->copyMatchForUTF8Data(name, HVMakeRange(0, name.size())).has_value();
}

bool HVFileFilter::validateLocked() {
    m_valid = !m_title.empty() && (!m_pattern || m_pattern->empty() ||
                                   HVRegex::validPattern(std::string_view(*m_pattern)));
    return m_valid;
}

bool HVFileFilter::validate() {
    std::lock_guard lock(m_mutex);
    return validateLocked();
}

std::string HVFileFilter::title() const {
    std::lock_guard lock(m_mutex);
    return m_title;
}

void HVFileFilter::setTitle(std::string title) {
    std::lock_guard lock(m_mutex);
    m_title = std::move(title);
}

std::optional<std::string> HVFileFilter::pattern() const {
    std::lock_guard lock(m_mutex);
    return m_pattern;
}

void HVFileFilter::setPattern(std::optional<std::string> pattern) {
    std::lock_guard lock(m_mutex);
    if (pattern == m_pattern)
        return;
    m_pattern = std::move(pattern);
    m_regex.reset();
    m_compileFailed = false;
}

bool HVFileFilter::enabled() const {
    std::lock_guard lock(m_mutex);
    return m_enabled;
}

void HVFileFilter::setEnabled(bool enabled) {
    std::lock_guard lock(m_mutex);
    m_enabled = enabled;
}

bool HVFileFilter::valid() const {
    std::lock_guard lock(m_mutex);
    return m_valid;
}

void HVFileFilter::setValid(bool valid) {
    std::lock_guard lock(m_mutex);
    m_valid = valid;
}

bool HVFileFilter::modified() const {
    std::lock_guard lock(m_mutex);
    return m_modified;
}

void HVFileFilter::setModified(bool modified) {
    std::lock_guard lock(m_mutex);
    m_modified = modified;
}

bool HVFileFilter::setValue(std::string_view key, const HVPlistValue& value) {
    if (key == "title" && value.isString()) {
        setTitle(*value.string());
    } else if (key == "pattern" && (value.isString() || value.isNone())) {
        setPattern(value.isString() ? std::optional<std::string>(*value.string()) : std::nullopt);
    } else if (key == "enabled" && value.isBoolean()) {
        setEnabled(*value.boolean());
    } else {
        return false;
    }
    std::lock_guard lock(m_mutex);
    validateLocked();
    m_modified = true;
    return true;
}
