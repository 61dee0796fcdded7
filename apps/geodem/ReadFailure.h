#pragma once
// Why a file the user named cannot be read, in the system's words ("No such file or directory",
// "Permission denied", "Is a directory"); empty when it can be.
#include <string>

std::string ReadFailure(const std::string& path);
