// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <coroutine>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

// A piece of work on the thread's event loop that can wait in its middle without holding
// anything else up: a C++ coroutine. Many of them (one a modem, say) run side by side on the
// one loop, each suspended while it waits and resumed by the event it waits for; no thread.
//
// A Task starts when it is awaited (its result then goes to the awaiting coroutine), or with
// start(), which runs it up to its first real wait and hands its result to a callback when it
// ends. The Task object owns the coroutine and must outlive it.
template <typename T = void>
class [[nodiscard]] Task;

namespace TaskDetail {

struct PromiseBase
{
    std::coroutine_handle<> continuation;
    std::function<void()> whenDone;

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct FinalAwaiter
    {
        bool await_ready() noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) noexcept
        {
            PromiseBase &promise = self.promise();
            if (promise.continuation)
                return promise.continuation;
            if (promise.whenDone)
                std::exchange(promise.whenDone, {})();
            return std::noop_coroutine();
        }
        void await_resume() noexcept { }
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    // Nothing here throws on purpose; an exception that escapes is a bug, and stops at once.
    void unhandled_exception() noexcept { std::terminate(); }
};

template <typename T>
struct Promise : PromiseBase
{
    std::optional<T> value;
    Task<T> get_return_object();
    void return_value(T result) { value = std::move(result); }
};

template <>
struct Promise<void> : PromiseBase
{
    Task<void> get_return_object();
    void return_void() noexcept { }
};

} // namespace TaskDetail

template <typename T>
class [[nodiscard]] Task
{
public:
    using promise_type = TaskDetail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    explicit Task(Handle handle) : m_handle(handle) { }
    Task(Task &&other) noexcept : m_handle(std::exchange(other.m_handle, {})) { }
    Task &operator=(Task &&other) noexcept
    {
        std::swap(m_handle, other.m_handle);
        return *this;
    }
    Task(const Task &) = delete;
    Task &operator=(const Task &) = delete;
    ~Task()
    {
        if (m_handle)
            m_handle.destroy();
    }

    [[nodiscard]] bool done() const { return m_handle && m_handle.done(); }

    // Runs the work up to its first real wait; `whenDone` is called once it has ended.
    void start(std::function<void()> whenDone = {})
    {
        m_handle.promise().whenDone = std::move(whenDone);
        m_handle.resume();
    }

    // For work whose every wait is done on the spot (the window's paced waits): runs it to
    // its end here and gives its result.
    T runHere()
    {
        m_handle.resume();
        Q_ASSERT(m_handle.done());
        return result();
    }

    T result()
    {
        if constexpr (!std::is_void_v<T>)
            return std::move(*m_handle.promise().value);
    }

    bool await_ready() const noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<> caller) noexcept
    {
        m_handle.promise().continuation = caller;
        return m_handle;
    }
    T await_resume() { return result(); }

private:
    Handle m_handle;
};

template <typename T>
Task<T> TaskDetail::Promise<T>::get_return_object()
{
    return Task<T>(std::coroutine_handle<Promise<T>>::from_promise(*this));
}

inline Task<void> TaskDetail::Promise<void>::get_return_object()
{
    return Task<void>(std::coroutine_handle<Promise<void>>::from_promise(*this));
}

// What a coroutine awaits to let time pass. On the event loop, it suspends and the loop
// resumes it later, unless `context` is gone by then; done on the spot, it runs a wait of the
// caller's (the window's paced wait, which keeps the window live itself) and goes on.
class Pause
{
public:
    static Pause onEventLoop(int msecs, QObject *context) { return Pause(msecs, context, {}); }
    static Pause onTheSpot(std::function<void()> wait)
    {
        return Pause(0, nullptr, std::move(wait));
    }

    bool await_ready()
    {
        if (!m_onTheSpot)
            return false;
        m_onTheSpot();
        return true;
    }
    void await_suspend(std::coroutine_handle<> self)
    {
        // Work whose owner has gone stays suspended; the owner's end destroys it.
        if (m_context)
            QTimer::singleShot(m_msecs, Qt::PreciseTimer, m_context.data(),
                               [self] { self.resume(); });
    }
    void await_resume() noexcept { }

private:
    Pause(int msecs, QObject *context, std::function<void()> onTheSpot)
        : m_msecs(msecs), m_context(context), m_onTheSpot(std::move(onTheSpot))
    {
    }

    int m_msecs;
    QPointer<QObject> m_context;
    std::function<void()> m_onTheSpot;
};
