// The thread-exit hook through a fiber-local slot, whose callback runs as a
// thread (of a program without fibers) ends. The slot holds the callback with
// the value, since the system's callback has a calling convention of its own
// and takes one argument.
#include "platform/thread.h"

#include <new>

#include "platform/exception.h"
#include "platform/win32/win32.h"

namespace platform {
namespace {

struct TExitCall {
    TThreadExitHook::TCallback callback;
    void* value;
};

void WINAPI RunExitCall(void* data) {
    auto* call = static_cast<TExitCall*>(data);
    TThreadExitHook::TCallback callback = call->callback;
    void* value = call->value;
    delete call;
    if (value) callback(value);
}

}  // namespace

TThreadExitHook::TThreadExitHook(TCallback callback) : callback_(callback) {
    DWORD index = FlsAlloc(RunExitCall);
    if (index == FLS_OUT_OF_INDEXES) throw Exception("no fiber-local slot left");
    slot_ = index;
}

bool TThreadExitHook::Set(void* value) {
    const DWORD index = static_cast<DWORD>(slot_);
    if (auto* call = static_cast<TExitCall*>(FlsGetValue(index))) {
        call->value = value;
        return true;
    }
    if (!value) return true;
    auto* call = new (std::nothrow) TExitCall{callback_, value};
    if (!call) return false;
    if (FlsSetValue(index, call)) return true;
    delete call;
    return false;
}

}  // namespace platform
