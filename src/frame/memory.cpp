#include "frame/memory.h"

#include <atomic>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/resource.h>
#include <cstdio>
#include <cstring>
#endif

namespace quorix {

namespace {

// Blocks below this size are never checked: the checks cost a file read.
constexpr uint64_t kCheckFrom = uint64_t{64} << 20;

#if defined(_WIN32)
bool system_can_hold(uint64_t bytes) {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return true;
    return bytes <= status.ullAvailPageFile && bytes <= status.ullAvailVirtual;
}
#else
// MemAvailable plus SwapFree from /proc/meminfo, in bytes; 0 when unknown.
uint64_t system_available() {
    std::FILE* file = std::fopen("/proc/meminfo", "r");
    if (!file) return 0;
    uint64_t total = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        unsigned long long kilobytes = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1 ||
            std::sscanf(line, "SwapFree: %llu kB", &kilobytes) == 1)
            total += static_cast<uint64_t>(kilobytes) * 1024;
    }
    std::fclose(file);
    return total;
}

bool system_can_hold(uint64_t bytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes > static_cast<uint64_t>(limit.rlim_cur))
        return false;
    const uint64_t available = system_available();
    return available == 0 || bytes <= available;
}
#endif

// The fault-injection counter; relaxed atomics, as a test may run analyses on
// several threads.
std::atomic<int64_t> checks_counted{0};
std::atomic<int64_t> failing_check{0};

}  // namespace

bool memory_available(uint64_t bytes) {
    const int64_t check = checks_counted.fetch_add(1, std::memory_order_relaxed) + 1;
    if (check == failing_check.load(std::memory_order_relaxed)) return false;
    return bytes < kCheckFrom || system_can_hold(bytes);
}

void fail_memory_check(int64_t failing) {
    checks_counted.store(0, std::memory_order_relaxed);
    failing_check.store(failing, std::memory_order_relaxed);
}

int64_t memory_checks_counted() { return checks_counted.load(std::memory_order_relaxed); }

void require_memory(uint64_t bytes) {
    if (!memory_available(bytes)) throw std::bad_alloc();
}

void advise_huge_pages(void* data, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole 2 MB pages inside the block: the advice never reaches memory
    // outside it.
    constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (data != nullptr && last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

}  // namespace quorix
