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

// Fault injection for tests: counts the checks above (every call, whatever the
// size) from this call on, and makes the check numbered `failing` (from 1)
// answer false; 0 makes none fail. memory_checks_counted() is the count.
void fail_memory_check(int64_t failing);
int64_t memory_checks_counted();

}  // namespace quorix
