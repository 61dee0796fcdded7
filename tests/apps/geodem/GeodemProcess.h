#pragma once
// Runs the built geodem program (or any program) as a child process with stdout and stderr
// captured, and the registry of the test process (GEODEM_REGISTRY is inherited).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

struct ProcessResult {
  int status = -1;  // exit status; -1 when the program could not run or was killed
  std::string out;
  std::string err;
};

class GeodemProcess {
 public:
  static std::string Binary() { return std::string(GEODEM_BINARY_DIR) + "/bin/geodem"; }

  // geodem with these arguments.
  static ProcessResult Geodem(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {Binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv);
  }

  // Why the user nobody cannot run the built geodem (a folder above the build tree closed to other
  // users, as root's home is); empty when it can, or when the tests do not run as root.
  static std::string NobodyCannotRunGeodem() {
    if (::geteuid() != 0) return {};
    ProcessResult r = Run({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                           Binary(), "--version"});
    if (r.status == 0) return {};
    return "the user nobody cannot run " + Binary() +
           " (is a folder above it closed to other users?): " + r.err;
  }

  // geodem with these arguments in a mount namespace of its own, with a tmpfs of `size` (such as
  // "256k") mounted on the existing folder `folder`; stdout then lists what the run left there.
  // Empty `why` when such a namespace can be made here; else the reason, and nothing runs.
  static ProcessResult OnSmallDisk(const std::string& folder, const std::string& size,
                                   const std::vector<std::string>& args, std::string& why) {
    ProcessResult probe = Run({"unshare", "-rm", "true"});
    if (probe.status != 0) {
      why = "no mount namespace here: " + probe.err;
      return probe;
    }
    std::vector<std::string> argv = {"unshare", "-rm", "sh", "-c",
                                     "mount -t tmpfs -o size=" + size +
                                         " tmpfs \"$1\" && shift && \"$@\"; s=$?; "
                                         "ls -A \"$0\"; exit $s",
                                     folder, folder, Binary()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv);
  }

  // argv[0] is found on PATH.
  static ProcessResult Run(const std::vector<std::string>& argv) {
    TempDir capture;
    const std::string out = capture / "out", err = capture / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ProcessResult r;
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
      int wstatus = 0;
      if (waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = TempDir::ReadFile(out);
    r.err = TempDir::ReadFile(err);
    return r;
  }
};
