#include "HVCommandLineTool.h"

#include <cstdint>
#include <iostream>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A large text takes tens of thousands of page faults to fill its buffers (the decoded
// characters, the text buffer, its runs); in huge pages it takes a few dozen. The heap is
// grown in one large step, kept (never trimmed), and offered to the kernel for transparent
// huge pages; where the kernel does not give them this changes nothing.
void useHugePagesForTheHeap() {
    constexpr std::size_t reserve = std::size_t(512) << 20;
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, int(reserve));
    mallopt(M_TOP_PAD, int(reserve));
    // Larger than what the heap has free, so that it grows now, by the pad.
    void* first = std::malloc(std::size_t(1) << 20);
    char* start = static_cast<char*>(first);
    char* end = static_cast<char*>(sbrk(0));
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    auto aligned = (reinterpret_cast<std::uintptr_t>(start) + huge - 1) & ~(huge - 1);
    if (end > reinterpret_cast<char*>(aligned))
        madvise(reinterpret_cast<void*>(aligned),
                std::size_t(end - reinterpret_cast<char*>(aligned)), MADV_HUGEPAGE);
    std::free(first);
}

} // namespace

int main(int argc, char** argv) {
    useHugePagesForTheHeap();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    HVCommandLineTool tool(std::cout, std::cerr);
    return tool.run(arguments);
}
