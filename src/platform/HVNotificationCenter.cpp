#include "HVNotificationCenter.h"

#include <algorithm>

HVNotificationCenter& HVNotificationCenter::defaultCenter() {
    static HVNotificationCenter center;
    return center;
}

HVNotificationCenter::ObserverToken
HVNotificationCenter::addObserver(std::string name, const void* object, Callback callback) {
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->object = object;
    entry->callback = std::move(callback);
    std::lock_guard lock(m_mutex);
    entry->token = m_nextToken++;
    m_entries.push_back(entry);
    return entry->token;
}

void HVNotificationCenter::removeObserver(ObserverToken token) {
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [token](const auto& entry) { return entry->token == token; });
    if (it == m_entries.end())
        return;
    // A delivery in progress holds its own reference; the flag stops it from calling.
    (*it)->removed = true;
    m_entries.erase(it);
}

void HVNotificationCenter::postNotification(const HVNotification& notification) {
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_entries) {
            if ((entry->name.empty() || entry->name == notification.name) &&
                (!entry->object || entry->object == notification.object))
                targets.push_back(entry);
        }
    }
    for (const auto& entry : targets) {
        if (!entry->removed)
            entry->callback(notification);
    }
}

void HVNotificationCenter::postNotificationName(std::string name, const void* object,
                                                HVPlistValue::Dictionary userInfo) {
    postNotification(HVNotification{std::move(name), object, std::move(userInfo)});
}
