#include "platform/thread.h"

#include "platform/exception.h"

namespace platform {

TThread::~TThread() {
    Terminate();
    const bool ownThread = workerId_.load() == std::this_thread::get_id();
    std::lock_guard lock(threadMutex_);
    if (!thread_.joinable()) return;
    if (ownThread)
        thread_.detach();
    else
        thread_.join();
}

void TThread::Start() {
    std::lock_guard lock(threadMutex_);
    if (started_.exchange(true)) return;
    thread_ = std::thread(&TThread::Run, this);
}

void TThread::Run() noexcept {
    workerId_.store(std::this_thread::get_id());
    try {
        Execute();
    } catch (...) {
        std::lock_guard lock(fatalMutex_);
        fatal_ = std::current_exception();
    }
    finished_.store(true);
}

void TThread::WaitFor() {
    // Checked before taking the lock: another thread may hold it while
    // joining this one.
    if (workerId_.load() == std::this_thread::get_id())
        throw Exception("Cannot call WaitFor on the thread's own run");
    std::lock_guard lock(threadMutex_);
    if (thread_.joinable()) thread_.join();
}

std::exception_ptr TThread::FatalException() const {
    std::lock_guard lock(fatalMutex_);
    return fatal_;
}

}  // namespace platform
