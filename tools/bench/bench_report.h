#pragma once

// What every bench prints and measures of itself: a line of figures, a
// fatal error under the bench's own name, its CPU time and peak memory.

#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <sys/resource.h>

inline void say(const QString &text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

[[noreturn]] inline void fail(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.toLocal8Bit().constData());
    std::exit(2);
}

// This process's CPU time so far, all threads.
inline double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// This process's peak resident memory so far.
inline double peakRssMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024;
}
