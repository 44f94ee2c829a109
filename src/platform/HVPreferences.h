#pragma once

#include "HVError.h"
#include "HVPlistValue.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

// The per-user preference store: one property-list file, read at creation and written
// atomically on flush. Typed readers treat a value of another type as absent.
class HVPreferences {
public:
    using ObserverToken = std::uint64_t;
    // Called after a key changed, on the thread that changed it, outside the store's lock.
    using Observer = std::function<void(const std::string& key)>;

    explicit HVPreferences(std::string path);
    ~HVPreferences();
    HVPreferences(const HVPreferences&) = delete;
    HVPreferences& operator=(const HVPreferences&) = delete;

    // The store of this user: "$XDG_CONFIG_HOME/Halvet/Preferences.plist".
    static HVPreferences& sharedInstance();
    static std::string defaultPath();
    // Puts another store in place of the shared one (tests, the command line), flushing the old.
    static void replaceSharedInstance(std::unique_ptr<HVPreferences> preferences);

    const std::string& path() const { return m_path; }
    // Set when the file existed but could not be read; the file is kept aside on the next flush.
    const std::optional<HVError>& loadError() const { return m_loadError; }

    bool hasValueForKey(std::string_view key) const;
    std::optional<HVPlistValue> objectForKey(std::string_view key) const;
    std::optional<bool> boolForKey(std::string_view key) const;
    std::optional<std::int64_t> integerForKey(std::string_view key) const;
    std::optional<double> doubleForKey(std::string_view key) const;
    std::optional<std::string> stringForKey(std::string_view key) const;
    std::optional<HVPlistValue::Array> arrayForKey(std::string_view key) const;
    std::optional<HVPlistValue::Dictionary> dictionaryForKey(std::string_view key) const;
    std::optional<HVPlistValue::Data> dataForKey(std::string_view key) const;

    void setObject(std::string_view key, HVPlistValue value);
    void removeObjectForKey(std::string_view key);
    HVPlistValue::Dictionary dictionaryRepresentation() const;

    bool isDirty() const;
    // Writes the store if it changed since the last flush.
    bool flush(HVError* error = nullptr);

    // An empty key observes every key.
    ObserverToken addObserver(std::string key, Observer observer);
    void removeObserver(ObserverToken token);

private:
    void notify(const std::string& key);

    std::string m_path;
    mutable std::mutex m_mutex;
    HVPlistValue::Dictionary m_values;
    bool m_dirty = false;
    std::optional<HVError> m_loadError;
    struct Registration {
        std::string key;
        std::shared_ptr<Observer> observer;
    };
    std::map<ObserverToken, Registration> m_observers;
    ObserverToken m_nextToken = 1;
};
