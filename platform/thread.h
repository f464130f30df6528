// A worker-thread object: created suspended, started once with Start, asked to
// stop with Terminate, joined with WaitFor. Subclasses put their work in
// Execute and poll Terminated() at points where stopping is safe.
#pragma once

#include <atomic>
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

}  // namespace platform
