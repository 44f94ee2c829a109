#define PCRE2_CODE_UNIT_WIDTH 8
#include "HVRegex.h"

#include "HVRegexSupport.h"
#include "HVUnicode.h"

#include <pcre2.h>

pcre2_jit_stack* hvregex::threadJitStack8(void*) {
    struct Holder {
        pcre2_jit_stack* stack = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr);
        ~Holder() { pcre2_jit_stack_free(stack); }
    };
    thread_local Holder holder;
    return holder.stack;
}

namespace {

// PCRE2 10.42's compiled matching of UTF-8 that may be ill-formed lets \S, \W and \D miss every
// character beyond ASCII (fixed in 10.43); patterns using them run in the interpreter instead.
bool jitIsSafe(const std::string& pattern) {
    for (std::size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] != '\\')
            continue;
        char escaped = pattern[++i];
        if (escaped == 'S' || escaped == 'W' || escaped == 'D')
            return PCRE2_MAJOR > 10 || PCRE2_MINOR >= 43;
    }
    return true;
}

} // namespace

struct HVRegex::Code8 {
    pcre2_code* code = nullptr;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* context = nullptr;
    ~Code8() {
        pcre2_match_context_free(context);
        pcre2_match_data_free(matchData);
        pcre2_code_free(code);
    }
};

void HVRegex::Code8Deleter::operator()(Code8* code) const {
    delete code;
}

std::optional<HVRegexMatch> HVRegex::copyMatchForUTF8Data(std::string_view data, HVRange range) {
    if (!m_code8 && !m_code8Failed) {
        std::string pattern = HVUnicode::utf8(m_pattern);
        int errorCode = 0;
        PCRE2_SIZE errorOffset = 0;
        pcre2_code* code =
            pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                          hvregex::compileOptions(m_options), &errorCode, &errorOffset, nullptr);
        if (!code) {
            m_code8Failed = true;
        } else {
            m_code8.reset(new Code8);
            m_code8->code = code;
            if (jitIsSafe(pattern))
                pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
            m_code8->matchData = pcre2_match_data_create_from_pattern(code, nullptr);
            m_code8->context = pcre2_match_context_create(nullptr);
            pcre2_jit_stack_assign(m_code8->context, hvregex::threadJitStack8, nullptr);
            if (m_matchLimit)
                pcre2_set_match_limit(m_code8->context, m_matchLimit);
        }
    }
    if (!m_code8)
        return std::nullopt;
    range = hvregex::clampRange(range, data.size());
    std::size_t start = range.location;
    // Start on the first byte of a character.
    while (start < range.end() && (static_cast<unsigned char>(data[start]) & 0xC0) == 0x80 &&
           start > 0)
        ++start;
    int rc = pcre2_match(m_code8->code, reinterpret_cast<PCRE2_SPTR>(data.data()), range.end(),
                         start, 0, m_code8->matchData, m_code8->context);
    if (rc <= 0)
        return std::nullopt;
    return HVRegexMatch(hvregex::rangesFromOffsets(pcre2_get_ovector_pointer(m_code8->matchData),
                                                   pcre2_get_ovector_count(m_code8->matchData),
                                                   m_groupCount));
}
