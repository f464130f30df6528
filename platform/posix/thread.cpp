// The thread-exit hook through a pthread key, whose destructor gets the
// thread's value as the thread ends.
#include "platform/thread.h"

#include <pthread.h>

#include "platform/exception.h"

namespace platform {

TThreadExitHook::TThreadExitHook(TCallback callback) : callback_(callback) {
    pthread_key_t key;
    if (::pthread_key_create(&key, callback_) != 0) throw Exception("no thread-specific key left");
    slot_ = static_cast<uintptr_t>(key);
}

bool TThreadExitHook::Set(void* value) {
    return ::pthread_setspecific(static_cast<pthread_key_t>(slot_), value) == 0;
}

}  // namespace platform
