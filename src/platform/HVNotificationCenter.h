#pragma once

#include "HVPlistValue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct HVNotification {
    std::string name;
    const void* object = nullptr;
    HVPlistValue::Dictionary userInfo;
};

// Named notifications, delivered synchronously on the posting thread. An observer may add or
// remove observers, itself included, while it is being notified.
class HVNotificationCenter {
public:
    using ObserverToken = std::uint64_t;
    using Callback = std::function<void(const HVNotification&)>;

    static HVNotificationCenter& defaultCenter();

    // An empty name matches every notification; a null object matches every poster.
    ObserverToken addObserver(std::string name, const void* object, Callback callback);
    void removeObserver(ObserverToken token);

    void postNotification(const HVNotification& notification);
    void postNotificationName(std::string name, const void* object = nullptr,
                              HVPlistValue::Dictionary userInfo = {});

private:
    struct Entry {
        ObserverToken token;
        std::string name;
        const void* object;
        Callback callback;
        std::atomic<bool> removed{false};
    };
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Entry>> m_entries;
    ObserverToken m_nextToken = 1;
};

// Removes its observer when it goes away.
class HVScopedObserver {
public:
    HVScopedObserver() = default;
    HVScopedObserver(HVNotificationCenter& center, HVNotificationCenter::ObserverToken token)
        : m_center(&center), m_token(token) {}
    HVScopedObserver(HVScopedObserver&& other) noexcept { *this = std::move(other); }
    HVScopedObserver& operator=(HVScopedObserver&& other) noexcept {
        if (this != &other) {
            reset();
            m_center = other.m_center;
            m_token = other.m_token;
            other.m_center = nullptr;
        }
        return *this;
    }
    ~HVScopedObserver() { reset(); }
    void reset() {
        if (m_center)
            m_center->removeObserver(m_token);
        m_center = nullptr;
    }

private:
    HVNotificationCenter* m_center = nullptr;
    HVNotificationCenter::ObserverToken m_token = 0;
};
