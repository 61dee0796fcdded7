#pragma once
// One tile's `geodem convert` as a child process of its own: its own process group (a signal
// meant for the batch reaches it only through the batch), no terminal input, its stderr in a
// log file the batch reads when it ends. A crash or a hang of the child is that tile's failure.
// The child dies with the batch, however the batch dies (even by SIGKILL): a conversion left
// running would write a grid file with settings no journal records.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class TileProcess {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts `argv` (argv[0] the program's path) with stderr into `logPath`; false with `error`.
  bool Start(const std::vector<std::string>& argv, const std::string& logPath,
             std::string& error);

  // Sends `signal` to the child's process group.
  void Signal(int signal) const;

  pid_t pid() const { return pid_; }
  double Seconds() const;

  // How the child ended, from its wait status: exit status, or -1 after a signal with `why`.
  static int ExitStatus(int waitStatus, std::string& why);

 private:
  // In the child, between fork and exec: only calls safe there. Never returns.
  [[noreturn]] static void Exec(char* const* argv, pid_t batch, int null, int log, int report);

  pid_t pid_ = -1;
  Clock::time_point start_;
};
