#pragma once
// CPU time (user and system) the benchmark process has used so far, from the
// scheduler's own count (finer than the tick-based usage figures), and the
// monotonic wall clock to set it against.
#include <ctime>

inline double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

inline double WallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}
