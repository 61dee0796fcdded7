#pragma once
// A file operation the system refused, as geodem's messages word it: the path, the system's own
// reason (strerror) and what the user can do about it, e.g.
//   out/a: Not a directory; a file stands where a folder is needed: choose another output path
// "No space left" is said only for the errno that means it.
#include <string>

#include "host/FileFailure.h"

std::string FileFailureText(const FileFailure& failure);
