// What the benchmarks read of their own process: CPU time, resident memory, threads.
#pragma once

#include <time.h>

#include <fstream>
#include <string>

namespace tarvex::bench {

inline double Seconds(const timespec& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return Seconds(t);
}

inline double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return Seconds(t);
}

// A field of /proc/self/status ("VmRSS", "Threads"): its first number, 0 when missing.
inline long StatusField(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string key = name + ":";
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) {
      return std::stol(line.substr(key.size()));
    }
  }
  return 0;
}

inline long ResidentKb() {
  return StatusField("VmRSS");
}

}  // namespace tarvex::bench
