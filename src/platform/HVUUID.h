#pragma once

#include <string>

// A random (version 4) UUID in its 36-character upper-case form.
std::string HVMakeUUID();
