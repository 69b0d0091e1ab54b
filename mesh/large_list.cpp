// large_list.cpp: the storage of the mesh's lists. A large list gets a mapping
// of its own, aligned to and rounded up to whole large pages, so the kernel
// can back all of it with them; a heap block's unaligned ends never can.
#include "mesh/mesh.h"

#include <sys/mman.h>

#include <cstdint>
#include <limits>
#include <new>

namespace {

constexpr size_t largePage = size_t{2} << 20;
constexpr size_t largeFrom = size_t{1} << 20;

size_t wholeLargePages(size_t bytes) { return (bytes + largePage - 1) & ~(largePage - 1); }

}  // namespace

void* allocateLargeList(size_t bytes)
{
    if (bytes < largeFrom) return ::operator new(bytes);
    if (bytes > std::numeric_limits<size_t>::max() / 2) throw std::bad_alloc();
    const size_t length = wholeLargePages(bytes);
    // One large page more than needed, then the unaligned ends given back.
    void* mapped = ::mmap(nullptr, length + largePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + largePage - 1) & ~(largePage - 1);
    if (aligned > start) ::munmap(mapped, aligned - start);
    if (const uintptr_t end = start + length + largePage; end > aligned + length)
        ::munmap(reinterpret_cast<void*>(aligned + length), end - aligned - length);
    ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void releaseLargeList(void* storage, size_t bytes)
{
    if (bytes < largeFrom) {
        ::operator delete(storage);
        return;
    }
    ::munmap(storage, wholeLargePages(bytes));
}
