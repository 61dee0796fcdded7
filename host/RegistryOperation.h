#pragma once
// Shared by the registry functions and the class registration built on them: runs one operation on
// the registry file, turning a RegistryError (or any other exception) into its error code and
// keeping RegistryLastError() current. No exception leaves.
#include <functional>
#include <string>
#include <vector>

#include "host/Registry.h"

LONG RunRegistryOperation(const std::function<LONG()>& operation);
// Records the account of a failure for RegistryLastError() and returns its code.
LONG RegistryFailure(LONG code, std::string text);
// A key path as it reads in messages.
std::string RegistryPathText(const std::vector<std::string>& path);
