#pragma once
// Why a file the user named cannot be read, in the system's words ("No such file or directory",
// "Permission denied", "Is a directory"), or UserPath's refusal ("is a FIFO, not a regular file");
// empty when it can be. Never waits on a FIFO.
#include <string>

std::string ReadFailure(const std::string& path);
