#pragma once

// Shared between the 16-bit and the 8-bit translation units of HVRegex; PCRE2 needs one code
// unit width per translation unit.

#include "HVRange.h"

#include <cstdint>
#include <string_view>
#include <vector>

struct pcre2_real_jit_stack_8;

namespace hvregex {

// PCRE2 compile options for our option word.
std::uint32_t compileOptions(std::uint32_t options);
// PCRE2 match options for our option word.
std::uint32_t matchOptions(std::uint32_t options);
// The part of a range that lies inside a subject of the given length.
HVRange clampRange(HVRange range, std::size_t length);
// The capture ranges of a match from PCRE2's offset vector (the same type at every width);
// unset groups become {HVNotFound, 0}.
std::vector<HVRange> rangesFromOffsets(const std::size_t* offsets, std::uint32_t pairs,
                                       std::size_t groupCount);
// The JIT stack callback for 8-bit matching: one stack per thread, grown on demand (the
// default 32 KB fails on long subjects). For every 8-bit matcher, here and above.
pcre2_real_jit_stack_8* threadJitStack8(void*);

} // namespace hvregex
