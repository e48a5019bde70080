// How much memory the process can still take without being killed for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix {

// True when about `bytes` more can be allocated: below the physical memory and
// swap the system reports free, and below the process's address-space limit.
// Where neither can be read, true.
bool memory_available(uint64_t bytes);

// Throws std::bad_alloc when memory_available(bytes) is false, so that large
// blocks fail like any allocation instead of overcommitting the system.
void require_memory(uint64_t bytes);

// Asks the system to back a large block about to be filled with huge pages
// (transparent huge pages, where the kernel offers them on request): a 40 MB
// column then costs 20 page faults instead of 10,000, and in a virtual machine
// each fault is a trap to the hypervisor. Advice only: contents and results
// are the same whether or not the kernel follows it.
void advise_huge_pages(void* data, size_t bytes);

// Resizes v to n elements for a caller that overwrites them all: the old
// contents are not kept, and a new block gets advise_huge_pages before its
// first touch.
template <class T>
void resize_for_overwrite(std::vector<T>& v, size_t n) {
    if (v.capacity() < n) {
        std::vector<T>().swap(v);
        v.reserve(n);
        advise_huge_pages(v.data(), n * sizeof(T));
    }
    v.resize(n);
}

// Fault injection for tests: counts the checks above (every call, whatever the
// size) from this call on, and makes the check numbered `failing` (from 1)
// answer false; 0 makes none fail. memory_checks_counted() is the count.
void fail_memory_check(int64_t failing);
int64_t memory_checks_counted();

}  // namespace quorix
