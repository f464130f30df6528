#include "json/jsonpool.h"

#include <cstdlib>
#include <mutex>
#include <vector>

namespace json::pool {

namespace {
// Every slab stays reachable from here until the process ends.
std::mutex g_slabMutex;
std::vector<void*>* g_slabs = new std::vector<void*>();
constexpr size_t kSlabBytes = 64 * 1024;
size_t g_slabBytes = 0;
}  // namespace

size_t SlabBytes() {
    std::lock_guard<std::mutex> lock(g_slabMutex);
    return g_slabBytes;
}

void OrphanStore::Give(void* chain) {
    std::lock_guard<std::mutex> lock(mutex_);
    chains_.push_back(chain);
}

void* OrphanStore::Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (chains_.empty()) return nullptr;
    void* chain = chains_.back();
    chains_.pop_back();
    return chain;
}

void* NewSlab(size_t size) {
    const size_t count = kSlabBytes / size;
    char* slab = static_cast<char*>(std::malloc(count * size));
    if (!slab) throw std::bad_alloc();
    {
        std::lock_guard<std::mutex> lock(g_slabMutex);
        g_slabs->push_back(slab);
        g_slabBytes += count * size;
    }
    for (size_t i = 0; i + 1 < count; ++i)
        *reinterpret_cast<void**>(slab + i * size) = slab + (i + 1) * size;
    *reinterpret_cast<void**>(slab + (count - 1) * size) = nullptr;
    return slab;
}

}  // namespace json::pool
