#include "HVUploadList.h"

#include <algorithm>

namespace {

// Enough finished entries to show what just went up, few enough to keep the window short.
constexpr std::size_t HVMaximumFinishedEntries = 20;

bool isUnfinished(HVUploadList::State state) {
    return state != HVUploadList::State::Finished;
}

} // namespace

HVUploadList& HVUploadList::sharedInstance() {
    static HVUploadList list;
    return list;
}

std::uint64_t HVUploadList::add(std::string site, std::string path, Actions actions) {
    for (Item& item : m_items) {
        if (item.entry.site == site && item.entry.path == path && isUnfinished(item.entry.state)) {
            // The newer upload replaces the one still waiting or failed: one row per file.
            item.entry.state = State::Queued;
            item.entry.error.reset();
            item.actions = std::move(actions);
            changed();
            return item.entry.identifier;
        }
    }
    Item item;
    item.entry.identifier = m_nextIdentifier++;
    item.entry.site = std::move(site);
    item.entry.path = std::move(path);
    item.actions = std::move(actions);
    m_items.push_back(std::move(item));
    changed();
    return m_items.back().entry.identifier;
}

HVUploadList::Item* HVUploadList::find(std::uint64_t identifier) {
    auto it = std::find_if(m_items.begin(), m_items.end(),
                           [&](const Item& item) { return item.entry.identifier == identifier; });
    return it == m_items.end() ? nullptr : &*it;
}

void HVUploadList::finished(std::uint64_t identifier) {
    Item* item = find(identifier);
    if (!item)
        return;
    item->entry.state = State::Finished;
    item->entry.error.reset();
    // A finished upload needs nothing more; dropping its actions lets go of what they hold.
    item->actions = {};
    dropOldFinishedEntries();
    changed();
}

void HVUploadList::failed(std::uint64_t identifier, HVError error) {
    Item* item = find(identifier);
    if (!item)
        return;
    item->entry.state = State::Failed;
    item->entry.error = std::move(error);
    changed();
}

void HVUploadList::retry(std::uint64_t identifier) {
    Item* item = find(identifier);
    if (!item || item->entry.state == State::Finished)
        return;
    item->entry.state = State::Queued;
    item->entry.error.reset();
    // The action may report a new failure at once, which changes the list: call a copy, last.
    std::function<void()> action = item->actions.retry;
    changed();
    if (action)
        action();
}

void HVUploadList::cancel(std::uint64_t identifier) {
    auto it = std::find_if(m_items.begin(), m_items.end(),
                           [&](const Item& item) { return item.entry.identifier == identifier; });
    if (it == m_items.end() || it->entry.state == State::Finished)
        return;
    std::function<void()> action = std::move(it->actions.cancel);
    m_items.erase(it);
    changed();
    if (action)
        action();
}

void HVUploadList::retryFailed(std::string_view site) {
    std::vector<std::uint64_t> identifiers;
    for (const Item& item : m_items) {
        if (item.entry.site == site && item.entry.state == State::Failed)
            identifiers.push_back(item.entry.identifier);
    }
    for (std::uint64_t identifier : identifiers)
        retry(identifier);
}

std::vector<HVUploadList::Entry> HVUploadList::entries() const {
    std::vector<Entry> result;
    result.reserve(m_items.size());
    for (const Item& item : m_items)
        result.push_back(item.entry);
    return result;
}

std::optional<HVUploadList::Entry> HVUploadList::entry(std::uint64_t identifier) const {
    for (const Item& item : m_items) {
        if (item.entry.identifier == identifier)
            return item.entry;
    }
    return std::nullopt;
}

std::size_t HVUploadList::countOfUnfinished() const {
    return std::count_if(m_items.begin(), m_items.end(),
                         [](const Item& item) { return isUnfinished(item.entry.state); });
}

void HVUploadList::reset() {
    m_items.clear();
    changed();
}

void HVUploadList::dropOldFinishedEntries() {
    std::size_t finishedCount = m_items.size() - countOfUnfinished();
    for (auto it = m_items.begin();
         it != m_items.end() && finishedCount > HVMaximumFinishedEntries;) {
        if (it->entry.state == State::Finished) {
            it = m_items.erase(it);
            --finishedCount;
        } else {
            ++it;
        }
    }
}

void HVUploadList::changed() {
    HVNotificationCenter::defaultCenter().postNotificationName(
        std::string(HVUploadListChangedNotification), this);
}
