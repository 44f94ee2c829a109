#pragma once

#include <string>
#include <string_view>

// A path as URLs and trash records write it: unreserved characters and "/" stay, every other
// byte becomes "%XX".
std::string HVPercentEncodePath(std::string_view path);
