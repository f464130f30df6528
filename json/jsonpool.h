// Fixed-size block pool for the many small objects of a value tree (values
// and member entries). Blocks come from 64 KiB slabs that stay allocated for
// the life of the process; a freed block goes onto the free list of the
// thread that frees it, and any thread may reuse any block. When a thread
// ends, its free list is handed to a shared store, from which the next
// thread that runs out takes it before it cuts a new slab; so threads that
// come and go reuse each other's memory. This avoids the
// per-object header and the bin bookkeeping of the general allocator, which
// dominate building and freeing large documents. Sanitizer builds use the
// general allocator, so every object stays individually checked.
//
// A thread's free list lives in a small record of its own on the heap, which
// a thread_local pointer finds. The record, not the thread_local variable,
// is what the thread-exit hook gets when the thread ends: with mingw's
// emulated thread-local storage the variables are already freed by the time
// thread_local objects are destroyed, and a list read from there was lost.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "platform/thread.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZELVANO_JSON_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZELVANO_JSON_POOL 0
#endif
#endif
#ifndef ZELVANO_JSON_POOL
#define ZELVANO_JSON_POOL 1
#endif

namespace json::pool {

// A new slab cut into blocks of `size` bytes, chained through their first
// word; returns the first block.
void* NewSlab(size_t size);
// Bytes taken for slabs so far, all sizes together.
size_t SlabBytes();

// Free lists of ended threads for one block size, chained through their
// first word; shared by all threads under a lock.
class OrphanStore {
public:
    void Give(void* chain);
    // One whole chain, or nil when there is none.
    void* Take();

private:
    std::mutex mutex_;
    std::vector<void*> chains_;
};

template <size_t Size>
class FixedPool {
    static_assert(Size >= sizeof(void*) && Size % alignof(void*) == 0,
                  "a block must hold a pointer and keep pointer alignment");

public:
    static void* Alloc() {
#if ZELVANO_JSON_POOL
        ThreadList* list = list_;
        void* p = list->free;
        if (!p) return Refill();
        list->free = *static_cast<void**>(p);
        return p;
#else
        return ::operator new(Size);
#endif
    }
    static void Free(void* p) noexcept {
#if ZELVANO_JSON_POOL
        ThreadList* list = list_;
        if (list == &noList_ && !(list = NewList())) {
            // No list could be made for this thread: the block goes to the
            // store as a chain of its own.
            *static_cast<void**>(p) = nullptr;
            Orphans().Give(p);
            return;
        }
        *static_cast<void**>(p) = list->free;
        list->free = p;
#else
        ::operator delete(p);
#endif
    }

private:
#if ZELVANO_JSON_POOL
    struct ThreadList {
        void* free;
    };
    static OrphanStore& Orphans() {
        static OrphanStore* store = new OrphanStore();  // outlives every thread
        return *store;
    }
    // Hands an ending thread's free list to the orphans.
    static void ThreadEnded(void* value) {
        auto* list = static_cast<ThreadList*>(value);
        if (list->free) Orphans().Give(list->free);
        std::free(list);
    }
    static platform::TThreadExitHook* ExitHook() noexcept {
        static platform::TThreadExitHook* hook = []() -> platform::TThreadExitHook* {
            try {
                return new platform::TThreadExitHook(&ThreadEnded);  // lives as long as the process
            } catch (...) {
                return nullptr;
            }
        }();
        return hook;
    }
    // The calling thread's list, made on its first refill (or free), off the
    // fast path; nil when no memory is left for it.
    [[gnu::noinline, gnu::cold]] static ThreadList* NewList() noexcept {
        auto* list = static_cast<ThreadList*>(std::malloc(sizeof(ThreadList)));
        if (!list) return nullptr;
        list->free = nullptr;
        // Without the hook the list stays with its ended thread, as blocks
        // that are never reused.
        if (platform::TThreadExitHook* hook = ExitHook()) hook->Set(list);
        list_ = list;
        return list;
    }
    [[gnu::noinline]] static void* Refill() {
        ThreadList* list = list_;
        if (list == &noList_ && !(list = NewList())) throw std::bad_alloc();
        void* chain = Orphans().Take();
        if (!chain) chain = NewSlab(Size);
        list->free = *static_cast<void**>(chain);
        return chain;
    }
    // A thread without a list of its own yet sees this empty one, which is
    // never written: the fast path then needs no test of its own for it.
    static inline ThreadList noList_{nullptr};
    static inline thread_local ThreadList* list_ = &noList_;
#endif
};

}  // namespace json::pool
