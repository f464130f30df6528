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
#pragma once

#include <cstddef>
#include <mutex>
#include <new>
#include <vector>

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
        void* p = free_;
        if (!p) p = Refill();
        free_ = *static_cast<void**>(p);
        return p;
#else
        return ::operator new(Size);
#endif
    }
    static void Free(void* p) noexcept {
#if ZELVANO_JSON_POOL
        *static_cast<void**>(p) = free_;
        free_ = p;
#else
        ::operator delete(p);
#endif
    }

private:
#if ZELVANO_JSON_POOL
    // Hands the thread's free list to the orphans when the thread ends. It
    // is made on the thread's first refill, off the fast path.
    struct ThreadEnd {
        ~ThreadEnd() {
            if (free_) Orphans().Give(free_);
            free_ = nullptr;
        }
    };
    static OrphanStore& Orphans() {
        static OrphanStore* store = new OrphanStore();  // outlives every thread
        return *store;
    }
    static void* Refill() {
        static thread_local ThreadEnd end;
        (void)end;
        if (void* chain = Orphans().Take()) return chain;
        return NewSlab(Size);
    }
#endif
    static inline thread_local void* free_ = nullptr;
};

}  // namespace json::pool
