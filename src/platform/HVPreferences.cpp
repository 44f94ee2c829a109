#include "HVPreferences.h"

#include "HVFileSystem.h"
#include "HVPropertyList.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::unique_ptr<HVPreferences>& sharedSlot() {
    static std::unique_ptr<HVPreferences> slot;
    return slot;
}

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

HVPreferences::HVPreferences(std::string path) : m_path(std::move(path)) {
    if (!HVFileSystem::exists(m_path))
        return;
    HVError error;
    auto value = HVPropertyList::readFromFile(m_path, &error);
    if (value && value->isDictionary()) {
        m_values = std::move(*value->dictionary());
        return;
    }
    if (value)
        error = HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                        "The preferences file \"" + m_path + "\" does not hold a dictionary");
    m_loadError = std::move(error);
}

HVPreferences::~HVPreferences() {
    flush();
}

std::string HVPreferences::defaultPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base =
        (config && *config == '/')
            ? std::string(config)
            : HVFileSystem::appendingPathComponent(HVFileSystem::homeDirectory(), ".config");
    return HVFileSystem::appendingPathComponent(base, "Halvet/Preferences.plist");
}

HVPreferences& HVPreferences::sharedInstance() {
    std::lock_guard lock(sharedMutex());
    auto& slot = sharedSlot();
    if (!slot)
        slot = std::make_unique<HVPreferences>(defaultPath());
    return *slot;
}

void HVPreferences::replaceSharedInstance(std::unique_ptr<HVPreferences> preferences) {
    std::unique_ptr<HVPreferences> old;
    {
        std::lock_guard lock(sharedMutex());
        old = std::move(sharedSlot());
        sharedSlot() = std::move(preferences);
    }
}

bool HVPreferences::hasValueForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    return m_values.find(key) != m_values.end();
}

std::optional<HVPlistValue> HVPreferences::objectForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

std::optional<bool> HVPreferences::boolForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    return it == m_values.end() ? std::nullopt : it->second.boolValue();
}

std::optional<std::int64_t> HVPreferences::integerForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    return it == m_values.end() ? std::nullopt : it->second.integerValue();
}

std::optional<double> HVPreferences::doubleForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    return it == m_values.end() ? std::nullopt : it->second.doubleValue();
}

std::optional<std::string> HVPreferences::stringForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    return it == m_values.end() ? std::nullopt : it->second.stringValue();
}

std::optional<HVPlistValue::Array> HVPreferences::arrayForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end() || !it->second.array())
        return std::nullopt;
    return *it->second.array();
}

std::optional<HVPlistValue::Dictionary>
HVPreferences::dictionaryForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end() || !it->second.dictionary())
        return std::nullopt;
    return *it->second.dictionary();
}

std::optional<HVPlistValue::Data> HVPreferences::dataForKey(std::string_view key) const {
    std::lock_guard lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end() || !it->second.data())
        return std::nullopt;
    return *it->second.data();
}

void HVPreferences::setObject(std::string_view key, HVPlistValue value) {
    if (value.isNone()) {
        removeObjectForKey(key);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(key);
        if (it != m_values.end() && it->second == value)
            return;
        m_values.insert_or_assign(std::string(key), std::move(value));
        m_dirty = true;
    }
    notify(std::string(key));
}

void HVPreferences::removeObjectForKey(std::string_view key) {
    {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(key);
        if (it == m_values.end())
            return;
        m_values.erase(it);
        m_dirty = true;
    }
    notify(std::string(key));
}

HVPlistValue::Dictionary HVPreferences::dictionaryRepresentation() const {
    std::lock_guard lock(m_mutex);
    return m_values;
}

bool HVPreferences::isDirty() const {
    std::lock_guard lock(m_mutex);
    return m_dirty;
}

bool HVPreferences::flush(HVError* error) {
    std::lock_guard lock(m_mutex);
    if (!m_dirty)
        return true;
    if (!HVFileSystem::createDirectory(HVFileSystem::deletingLastPathComponent(m_path), 0700,
                                       error))
        return false;
    if (m_loadError && HVFileSystem::exists(m_path)) {
        // Keep the unreadable file for the user instead of writing over it.
        std::string aside = m_path + ".unreadable";
        std::rename(m_path.c_str(), aside.c_str());
        m_loadError.reset();
    }
    if (!HVPropertyList::writeToFile(HVPlistValue(m_values), m_path, HVPlistFormat::XML, error))
        return false;
    m_dirty = false;
    return true;
}

HVPreferences::ObserverToken HVPreferences::addObserver(std::string key, Observer observer) {
    std::lock_guard lock(m_mutex);
    ObserverToken token = m_nextToken++;
    m_observers.emplace(
        token, Registration{std::move(key), std::make_shared<Observer>(std::move(observer))});
    return token;
}

void HVPreferences::removeObserver(ObserverToken token) {
    std::lock_guard lock(m_mutex);
    m_observers.erase(token);
}

void HVPreferences::notify(const std::string& key) {
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [token, registration] : m_observers) {
            if (registration.key.empty() || registration.key == key)
                targets.push_back(registration.observer);
        }
    }
    for (const auto& observer : targets)
        (*observer)(key);
}
