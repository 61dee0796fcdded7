#pragma once
// A status value as messages show it: 0x80004005.
#include <string>

#include "host/HResult.h"

std::string StatusText(HRESULT hr);
