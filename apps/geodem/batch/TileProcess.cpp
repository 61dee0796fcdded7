#include "apps/geodem/batch/TileProcess.h"
#include "apps/geodem/Translation.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace {

// posix_spawn's attributes and file actions, released whatever happens.
struct SpawnSetup {
  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  SpawnSetup() {
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
};

}  // namespace

bool TileProcess::Start(const std::vector<std::string>& argv, const std::string& logPath,
                        std::string& error) {
  SpawnSetup s;
  // The batch blocks the signals it waits for; the child starts with none blocked and with
  // their default actions.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGINT, SIGTERM, SIGCHLD, SIGPIPE, SIGHUP}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&s.attr, &none);
  posix_spawnattr_setsigdefault(&s.attr, &defaults);
  posix_spawnattr_setpgroup(&s.attr, 0);
  posix_spawnattr_setflags(&s.attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&s.actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&s.actions, 2, logPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  start_ = Clock::now();
  int rc = posix_spawn(&pid_, args[0], &s.actions, &s.attr, args.data(), environ);
  if (rc != 0) {
    error = Tr("cannot start %s: %s", argv[0].c_str(), std::strerror(rc));
    pid_ = -1;
    return false;
  }
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
