#include "apps/geodem/convert/FileFailureText.h"

#include <cerrno>
#include <cstring>

#include "apps/geodem/Translation.h"

namespace {

const char* Advice(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
      return _("the file system is full: free some space on it or choose another output folder");
    case EACCES:
    case EPERM:
      return _(
          "this user may not create files there: choose another output folder or ask for "
          "write permission");
    case EROFS:
      return _("the file system is read-only: choose another output folder");
    case ENOTDIR:
      return _("a file stands where a folder is needed: choose another output path");
    default:
      return _("choose another output folder");
  }
}

}  // namespace

std::string FileFailureText(const FileFailure& failure) {
  return failure.path + ": " + std::strerror(failure.error) + "; " + Advice(failure.error);
}
