// What the benchmarks share: the rounds asked for, a clock and the median of
// their rounds.
#ifndef DSAGA_BENCH_TIMING_H
#define DSAGA_BENCH_TIMING_H

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

// The rounds asked for on the command line (20 unless given, one at least);
// the output goes unbuffered, so that every round shows as it ends.
inline int StartRounds(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 20;
    setvbuf(stdout, NULL, _IONBF, 0);
    return rounds < 1 ? 1 : rounds;
}

// Seconds on the performance counter.
inline double Now()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart / (double)frequency.QuadPart;
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

#endif
