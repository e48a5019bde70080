// How much memory the process can still take without being killed for it.
#pragma once

#include <cstdint>

namespace quorix {

// True when about `bytes` more can be allocated: below the physical memory and
// swap the system reports free, and below the process's address-space limit.
// Where neither can be read, true.
bool memory_available(uint64_t bytes);

// Throws std::bad_alloc when memory_available(bytes) is false, so that large
// blocks fail like any allocation instead of overcommitting the system.
void require_memory(uint64_t bytes);

}  // namespace quorix
