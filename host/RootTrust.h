#pragma once
// What a program run as root may read its classes from. Package scripts, cron and Slurm prologs run
// geodem as root with whatever HOME or XDG_DATA_HOME they inherit; a registry (or a module) that
// another user can write would let that user run code as root. So, as git refuses a repository
// owned by someone else, root skips a registry file or module that is not root's, or whose folder
// is not, with a warning (once per file) on the standard error. Other users trust their own files
// as ever. Paths are the operating system's.
#include <string>

class RootTrust {
 public:
  // True when the process is not root, or when the file does not exist (nothing to read), or when
  // both it and its folder belong to root. `what` names the file in the warning ("registry").
  static bool Trusts(const std::string& path, const char* what);
};
