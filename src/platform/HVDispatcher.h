#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

// The main thread's queue of work. Any thread posts closures; the main thread runs them, either
// from the headless run loop below (tests, the command line) or from the GUI's event loop,
// which installs a wake-up handler and calls runPending() when woken.
class HVDispatcher {
public:
    using Task = std::function<void()>;
    using TaskID = std::uint64_t;
    using Clock = std::chrono::steady_clock;

    // The dispatcher of the main thread; the thread that first asks for it becomes the main one.
    static HVDispatcher& main();

    // Makes the calling thread the main thread (for a process that starts it elsewhere).
    void adoptCurrentThread();
    bool isMainThread() const;

    // Runs the task on the main thread "after a delay of 0 seconds": never inside this call.
    TaskID post(Task task);
    TaskID postAfterDelay(double seconds, Task task);
    // False when the task already ran or was cancelled.
    bool cancel(TaskID id);
    // Runs the task on the main thread and waits for it; on the main thread it runs at once.
    void performAndWait(const Task& task);

    // Runs every task that is due now, in order of due time, then of posting.
    // Returns how many ran. Only on the main thread.
    std::size_t runPending();
    // Headless loop: runs tasks as they fall due until the predicate holds or the time is up.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    void runFor(double seconds);

    // Time until the earliest waiting task is due (zero when one is due now); none when idle.
    std::optional<Clock::duration> timeUntilNextTask() const;

    // Called on the posting thread whenever a task arrives that may be due before the others,
    // so that an event loop can wake up and call runPending().
    void setWakeUpHandler(std::function<void()> handler);

private:
    HVDispatcher();
    TaskID schedule(Clock::time_point due, Task task);

    mutable std::mutex m_mutex;
    std::condition_variable m_condition;
    std::thread::id m_mainThread;
    // Keyed by due time, then by posting order.
    std::map<std::pair<Clock::time_point, TaskID>, Task> m_tasks;
    std::map<TaskID, Clock::time_point> m_dueByID;
    TaskID m_nextID = 1;
    std::function<void()> m_wakeUp;
};
