// Platform/Host.cpp: process facts from POSIX and /proc.
#include "Platform/Host.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>
#include <time.h>
#include <unistd.h>

#include <climits>

uint64_t hostAvailableMemory()
{
    struct sysinfo info {};
    uint64_t physical = 0;
    if (sysinfo(&info) == 0)
        physical = (uint64_t(info.freeram) + info.bufferram) * info.mem_unit;
    struct rlimit limit {};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < physical)
        physical = limit.rlim_cur;
    return physical ? physical : (uint64_t(1) << 31);
}

uint64_t hostMilliseconds()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000;
}

uint64_t hostPerformanceCounter()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000000000 + uint64_t(t.tv_nsec);
}

std::string hostExecutablePath()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    return std::string(path, static_cast<size_t>(n));
}

void hostEnlargeStack(uint64_t bytes)
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= bytes)
        return;
    rlim_t wanted = limit.rlim_max == RLIM_INFINITY || limit.rlim_max >= bytes ? bytes : limit.rlim_max;
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_STACK, &limit);
}

void hostStackBounds(uintptr_t& low, uintptr_t& high)
{
    pthread_attr_t attr;
    void* address = nullptr;
    size_t size = 0;
    low = high = 0;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        pthread_attr_getstack(&attr, &address, &size);
        pthread_attr_destroy(&attr);
        low = reinterpret_cast<uintptr_t>(address);
        high = low + size;
    }
}
