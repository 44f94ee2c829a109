#include "HVDispatcher.h"

#include <future>
#include <memory>
#include <vector>

HVDispatcher::HVDispatcher() : m_mainThread(std::this_thread::get_id()) {}

HVDispatcher& HVDispatcher::main() {
    static HVDispatcher dispatcher;
    return dispatcher;
}

void HVDispatcher::adoptCurrentThread() {
    std::lock_guard lock(m_mutex);
    m_mainThread = std::this_thread::get_id();
}

bool HVDispatcher::isMainThread() const {
    std::lock_guard lock(m_mutex);
    return m_mainThread == std::this_thread::get_id();
}

HVDispatcher::TaskID HVDispatcher::post(Task task) {
    return schedule(Clock::now(), std::move(task));
}

HVDispatcher::TaskID HVDispatcher::postAfterDelay(double seconds, Task task) {
    auto delay = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(seconds < 0 ? 0 : seconds));
    return schedule(Clock::now() + delay, std::move(task));
}

HVDispatcher::TaskID HVDispatcher::schedule(Clock::time_point due, Task task) {
    std::function<void()> wakeUp;
    TaskID id;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextID++;
        bool earliest = m_tasks.empty() || due < m_tasks.begin()->first.first;
        m_tasks.emplace(std::make_pair(due, id), std::move(task));
        m_dueByID.emplace(id, due);
        if (earliest)
            wakeUp = m_wakeUp;
    }
    m_condition.notify_all();
    if (wakeUp)
        wakeUp();
    return id;
}

bool HVDispatcher::cancel(TaskID id) {
    std::lock_guard lock(m_mutex);
    auto it = m_dueByID.find(id);
    if (it == m_dueByID.end())
        return false;
    m_tasks.erase(std::make_pair(it->second, id));
    m_dueByID.erase(it);
    return true;
}

void HVDispatcher::performAndWait(const Task& task) {
    if (isMainThread()) {
        task();
        return;
    }
    // The promise lives in the posted task, so the main thread never touches this frame after
    // the waiter has been released.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    post([&task, done] {
        task();
        done->set_value();
    });
    finished.wait();
}

std::size_t HVDispatcher::runPending() {
    // Take only what is due now: tasks posted while these run wait for the next pass, so a
    // task that re-posts itself cannot starve the loop.
    std::vector<Task> due;
    {
        std::lock_guard lock(m_mutex);
        auto now = Clock::now();
        auto it = m_tasks.begin();
        while (it != m_tasks.end() && it->first.first <= now) {
            m_dueByID.erase(it->first.second);
            due.push_back(std::move(it->second));
            it = m_tasks.erase(it);
        }
    }
    for (auto& task : due)
        task();
    return due.size();
}

bool HVDispatcher::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(timeoutSeconds));
    for (;;) {
        runPending();
        if (done && done())
            return true;
        auto now = Clock::now();
        if (now >= deadline)
            return done ? done() : true;
        std::unique_lock lock(m_mutex);
        auto wakeAt = deadline;
        if (!m_tasks.empty() && m_tasks.begin()->first.first < wakeAt)
            wakeAt = m_tasks.begin()->first.first;
        if (wakeAt > now) {
            // Background threads may change what the predicate reads without posting anything;
            // look again at least every 10 ms.
            auto limit = now + std::chrono::milliseconds(10);
            m_condition.wait_until(lock, std::min(wakeAt, limit));
        }
    }
}

void HVDispatcher::runFor(double seconds) {
    runUntil(nullptr, seconds);
}

std::optional<HVDispatcher::Clock::duration> HVDispatcher::timeUntilNextTask() const {
    std::lock_guard lock(m_mutex);
    if (m_tasks.empty())
        return std::nullopt;
    auto wait = m_tasks.begin()->first.first - Clock::now();
    return wait < Clock::duration::zero() ? Clock::duration::zero() : wait;
}

void HVDispatcher::setWakeUpHandler(std::function<void()> handler) {
    std::lock_guard lock(m_mutex);
    m_wakeUp = std::move(handler);
}
