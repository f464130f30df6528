// A worker-thread object: created suspended, started once with Start, asked to
// stop with Terminate, joined with WaitFor. Subclasses put their work in
// Execute and poll Terminated() at points where stopping is safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

namespace platform {

class TThread {
public:
    TThread() = default;
    // Asks a running thread to stop and waits for it. Destroying the object
    // from its own thread (inside Execute) lets the thread finish unjoined.
    // A subclass whose Execute uses its own members must Terminate and
    // WaitFor in its destructor, before those members go.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Begins the run on a new operating-system thread. A second call, or a
    // call after the run, does nothing.
    void Start();
    // Sets the Terminated flag; safe from any thread.
    void Terminate() noexcept { terminated_.store(true); }
    bool Terminated() const noexcept { return terminated_.load(); }
    // Blocks until the run has ended (returns at once when it never began).
    // Calling it from the thread itself raises platform::Exception.
    void WaitFor();
    bool Started() const noexcept { return started_.load(); }
    bool Finished() const noexcept { return finished_.load(); }
    // An exception that escaped Execute, kept with the object.
    std::exception_ptr FatalException() const;

protected:
    virtual void Execute() = 0;

private:
    void Run() noexcept;

    std::atomic<bool> terminated_{false};
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::thread::id> workerId_{};
    std::mutex threadMutex_;  // guards thread_ (start, join)
    mutable std::mutex fatalMutex_;
    std::exception_ptr fatal_;
    std::thread thread_;
};

// A call made on a thread as it ends, with the value that thread gave last
// (threads that gave none, or nil, are not called): for per-thread state that
// must be handed on when its thread goes. The value is kept by the system
// (a pthread key on Linux, a fiber-local slot on Windows) and reaches the call
// as it is, so the call needs no thread_local variable: with mingw's emulated
// thread-local storage those are freed before thread_local objects are
// destroyed. The main thread is not called when the process ends. A hook
// holds one system slot and is meant to live as long as the process.
class TThreadExitHook {
public:
    using TCallback = void (*)(void* value);
    // Raises platform::Exception when the system has no slot left.
    explicit TThreadExitHook(TCallback callback);
    TThreadExitHook(const TThreadExitHook&) = delete;
    TThreadExitHook& operator=(const TThreadExitHook&) = delete;
    // The calling thread's value; false when it could not be kept.
    bool Set(void* value);

private:
    TCallback callback_;
    uintptr_t slot_ = 0;
};

}  // namespace platform
