// Preloaded into a client that never calls setlocale() for its messages (Debian's cadaver only
// gets LC_CTYPE from readline), so that it speaks the environment's language as builds of it
// with native language support do.

#include <clocale>

namespace {

[[gnu::constructor]] void takeLocaleFromEnvironment() {
    std::setlocale(LC_ALL, "");
}

} // namespace
