// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Summaries the benchmark programs print for bench/run to collect. One line per figure:
//   @@ key n=<count> median=<m> min=<lo> max=<hi> unit=<unit>
// Timings on this machine are noisy, so the report quotes medians and ranges, never means.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace bench {

struct Summary
{
    size_t n = 0;
    double median = 0;
    double min = 0;
    double max = 0;
};

inline Summary summarise(std::vector<double> samples)
{
    Summary s;
    s.n = samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    const size_t mid = samples.size() / 2;
    s.median = samples.size() % 2 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2;
    s.min = samples.front();
    s.max = samples.back();
    return s;
}

// BENCH_TAG=x in the environment suffixes every key with "_x", for a second run of the same
// program under other conditions (another platform plugin, say) in the same report.
inline std::string tagged(const std::string &key)
{
    const char *tag = std::getenv("BENCH_TAG");
    return tag && *tag ? key + "_" + tag : key;
}

inline void report(const std::string &key, const std::vector<double> &samples, const char *unit)
{
    const Summary s = summarise(samples);
    std::printf("@@ %s n=%zu median=%.6g min=%.6g max=%.6g unit=%s\n", tagged(key).c_str(), s.n,
                s.median, s.min, s.max, unit);
    std::fflush(stdout);
}

// A single figure that has no spread of its own (a count, a ratio of two medians).
inline void reportValue(const std::string &key, double value, const char *unit)
{
    std::printf("@@ %s n=1 median=%.6g min=%.6g max=%.6g unit=%s\n", tagged(key).c_str(), value,
                value, value, unit);
    std::fflush(stdout);
}

inline double nowMs(clockid_t clock = CLOCK_MONOTONIC)
{
    timespec t{};
    ::clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// VmRSS of a process in kB, 0 when it cannot be read.
inline long vmRssKb(int pid)
{
    const std::string path =
            pid > 0 ? "/proc/" + std::to_string(pid) + "/status" : std::string("/proc/self/status");
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f)
        return 0;
    char line[256];
    long kb = 0;
    while (std::fgets(line, sizeof line, f)) {
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1)
            break;
    }
    std::fclose(f);
    return kb;
}

} // namespace bench
