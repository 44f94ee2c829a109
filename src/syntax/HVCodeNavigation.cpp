#include "HVCodeNavigation.h"

#include <mutex>

namespace {

std::mutex& factoryMutex() {
    static std::mutex mutex;
    return mutex;
}

HVCodeNavigation::Factory& installedFactory() {
    static HVCodeNavigation::Factory factory;
    return factory;
}

} // namespace

HVCodeNavigation::~HVCodeNavigation() = default;

void HVCodeNavigation::setFactory(Factory factory) {
    std::lock_guard lock(factoryMutex());
    installedFactory() = std::move(factory);
}

bool HVCodeNavigation::hasFactory() {
    std::lock_guard lock(factoryMutex());
    return bool(installedFactory());
}

std::shared_ptr<HVCodeNavigation>
HVCodeNavigation::make(const HVPlistValue& items, HVParser& parser, std::vector<HVError>& errors) {
    Factory factory;
    {
        std::lock_guard lock(factoryMutex());
        factory = installedFactory();
    }
    return factory ? factory(items, parser, errors) : nullptr;
}
