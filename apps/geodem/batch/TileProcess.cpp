#include "apps/geodem/batch/TileProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "apps/geodem/Translation.h"

namespace {

// A file descriptor closed whatever happens.
struct OwnedFd {
  int fd;
  ~OwnedFd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

void TileProcess::Exec(char* const* argv, pid_t batch, int null, int log, int report) {
  ::setpgid(0, 0);
  // Killed when the batch dies; a batch that died before this was set is seen as a new parent.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != batch) ::_exit(127);
  // The batch blocks the signals it waits for; the child starts with none blocked and with
  // their default actions.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int sig : {SIGINT, SIGTERM, SIGCHLD, SIGPIPE, SIGHUP}) ::sigaction(sig, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(log, 2) < 0) ::_exit(127);
  ::execv(argv[0], argv);
  // The batch learns why through the pipe that exec would have closed.
  const int cause = errno;
  [[maybe_unused]] ssize_t n = ::write(report, &cause, sizeof cause);
  ::_exit(127);
}

bool TileProcess::Start(const std::vector<std::string>& argv, const std::string& logPath,
                        std::string& error) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  OwnedFd null{::open("/dev/null", O_RDWR | O_CLOEXEC)};
  OwnedFd log{::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)};
  int pipeFds[2];
  if (null.fd < 0 || log.fd < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
    error = Tr("cannot start %s: %s", argv[0].c_str(), std::strerror(errno));
    return false;
  }
  OwnedFd reportRead{pipeFds[0]}, reportWrite{pipeFds[1]};
  const pid_t batch = ::getpid();
  start_ = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) Exec(args.data(), batch, null.fd, log.fd, reportWrite.fd);
  if (pid < 0) {
    error = Tr("cannot start %s: %s", argv[0].c_str(), std::strerror(errno));
    return false;
  }
  ::setpgid(pid, pid);  // as the child does: whichever comes first
  ::close(reportWrite.fd);
  reportWrite.fd = -1;
  int cause = 0;
  ssize_t n;
  do n = ::read(reportRead.fd, &cause, sizeof cause);
  while (n < 0 && errno == EINTR);
  if (n == sizeof cause) {
    ::waitpid(pid, nullptr, 0);
    error = Tr("cannot start %s: %s", argv[0].c_str(), std::strerror(cause));
    return false;
  }
  pid_ = pid;
  return true;
}

void TileProcess::Signal(int signal) const {
  if (pid_ > 0) ::kill(-pid_, signal);
}

double TileProcess::Seconds() const {
  return std::chrono::duration<double>(Clock::now() - start_).count();
}

int TileProcess::ExitStatus(int waitStatus, std::string& why) {
  if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
  if (WIFSIGNALED(waitStatus))
    why = Tr("killed by signal %d (%s)", WTERMSIG(waitStatus), strsignal(WTERMSIG(waitStatus)));
  return -1;
}
