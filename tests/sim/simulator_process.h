// tarvex-cli run as its own process, for tests that watch its output and exit status from outside.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tarvex::test {

// tarvex-cli with its standard output on a pipe and its errors thrown away.
class Simulator {
 public:
  explicit Simulator(std::vector<std::string> args) {
    int pipeFds[2] = {-1, -1};
    if (pipe(pipeFds) != 0) {
      return;
    }
    pid_ = fork();
    if (pid_ == 0) {
      dup2(pipeFds[1], STDOUT_FILENO);
      std::freopen("/dev/null", "w", stderr);
      close(pipeFds[0]);
      close(pipeFds[1]);
      std::vector<char*> argv{const_cast<char*>(TARVEX_CLI_PATH)};
      for (std::string& arg : args) {
        argv.push_back(arg.data());
      }
      argv.push_back(nullptr);
      execv(TARVEX_CLI_PATH, argv.data());
      _exit(127);
    }
    close(pipeFds[1]);
    out_ = fdopen(pipeFds[0], "r");
  }

  ~Simulator() {
    if (pid_ > 0 && status_ < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ != nullptr) {
      std::fclose(out_);
    }
  }

  // The pseudo-terminal's path, from the first line: "Simulated fixture listening on PATH".
  std::string Port() {
    const std::string first = Line();
    const std::string prefix = "Simulated fixture listening on ";
    return first.rfind(prefix, 0) == 0 ? first.substr(prefix.size()) : std::string{};
  }

  // Everything it printed after the lines read so far, and its exit status.
  int Finish(std::string& rest) {
    for (std::string line = Line(); !line.empty() || !std::feof(out_); line = Line()) {
      rest += line + "\n";
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
  }

  pid_t pid() const { return pid_; }

  // The next line it prints, without its '\n'; empty at the end.
  std::string Line() {
    std::string line;
    for (int c = std::fgetc(out_); c != EOF && c != '\n'; c = std::fgetc(out_)) {
      line += static_cast<char>(c);
    }
    return line;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* out_ = nullptr;
  int status_ = -1;
};

}  // namespace tarvex::test
