// How many threads of this process sleep in ppoll(), where every wait of the Linux port backend
// sleeps: a test that must act while such a wait is under way waits for this count instead of
// sleeping and hoping the thread got there.
#pragma once

#include <sys/syscall.h>

#include <filesystem>
#include <fstream>

namespace tarvex::test {

inline int ThreadsInPoll() {
  int count = 0;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    // The number of the system call the thread is in; "running" when it is in none.
    std::ifstream syscall(task.path() / "syscall");
    long number = -1;
    if (syscall >> number && number == SYS_ppoll) {
      ++count;
    }
  }
  return count;
}

}  // namespace tarvex::test
