#include "HVUserInterface.h"

#include <mutex>

namespace {

// Answers without asking anybody: what a program without a screen can do.
class HVSilentUserInterface : public HVUserInterface {
public:
    void presentError(const HVError&, const void*,
                      std::function<void(std::size_t)> completion) override {
        if (completion)
            completion(0);
    }
    void runOpenPanel(const OpenPanelOptions&, const void*,
                      std::function<void(std::vector<std::string>)> completion) override {
        if (completion)
            completion({});
    }
    void runSavePanel(const SavePanelOptions&, const void*,
                      std::function<void(std::optional<std::string>)> completion) override {
        if (completion)
            completion(std::nullopt);
    }
    void
    reviewUnsavedDocuments(const std::vector<std::string>&, const void*,
                           std::function<void(int, std::vector<std::size_t>)> completion) override {
        if (completion)
            completion(3, {});
    }
    void beep() override {}
};

std::mutex& sharedMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<HVUserInterface>& sharedSlot() {
    static std::shared_ptr<HVUserInterface> slot = std::make_shared<HVSilentUserInterface>();
    return slot;
}

} // namespace

HVUserInterface& HVUserInterface::shared() {
    std::lock_guard lock(sharedMutex());
    return *sharedSlot();
}

void HVUserInterface::setShared(std::shared_ptr<HVUserInterface> userInterface) {
    std::lock_guard lock(sharedMutex());
    sharedSlot() =
        userInterface ? std::move(userInterface) : std::make_shared<HVSilentUserInterface>();
}
