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
}  // namespace

void* NewSlab(size_t size) {
    const size_t count = kSlabBytes / size;
    char* slab = static_cast<char*>(std::malloc(count * size));
    if (!slab) throw std::bad_alloc();
    {
        std::lock_guard<std::mutex> lock(g_slabMutex);
        g_slabs->push_back(slab);
    }
    for (size_t i = 0; i + 1 < count; ++i)
        *reinterpret_cast<void**>(slab + i * size) = slab + (i + 1) * size;
    *reinterpret_cast<void**>(slab + (count - 1) * size) = nullptr;
    return slab;
}

}  // namespace json::pool
