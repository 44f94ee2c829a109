#define PCRE2_CODE_UNIT_WIDTH 16
#include "HVRegex.h"

#include "HVRegexSupport.h"
#include "HVUnicode.h"

#include <pcre2.h>

namespace hvregex {

std::uint32_t compileOptions(std::uint32_t options) {
    // Text is always taken as Unicode; ill-formed code units are skipped rather than rejected,
    // which also spares the per-search validity scan of the whole subject.
    std::uint32_t result = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (options & HVRegexCaseless)
        result |= PCRE2_CASELESS;
    if (options & HVRegexMultiline)
        result |= PCRE2_MULTILINE;
    if (options & HVRegexDotAll)
        result |= PCRE2_DOTALL;
    if (options & HVRegexExtended)
        result |= PCRE2_EXTENDED;
    if (options & HVRegexAnchored)
        result |= PCRE2_ANCHORED;
    if (options & HVRegexDollarEndOnly)
        result |= PCRE2_DOLLAR_ENDONLY;
    if (options & HVRegexUngreedy)
        result |= PCRE2_UNGREEDY;
    if (options & HVRegexUTF8)
        result |= PCRE2_UCP;
    return result;
}

std::uint32_t matchOptions(std::uint32_t options) {
    std::uint32_t result = 0;
    if (options & HVRegexNotBOL)
        result |= PCRE2_NOTBOL;
    if (options & HVRegexNotEOL)
        result |= PCRE2_NOTEOL;
    if (options & HVRegexNotEmpty)
        result |= PCRE2_NOTEMPTY;
    if (options & HVRegexAnchored)
        result |= PCRE2_ANCHORED;
    if (options & HVRegexPartial)
        result |= PCRE2_PARTIAL_HARD;
    return result;
}

HVRange clampRange(HVRange range, std::size_t length) {
    if (range.location > length)
        return HVRange{length, 0};
    std::size_t end =
        range.length > length - range.location ? length : range.location + range.length;
    return HVRange{range.location, end - range.location};
}

std::vector<HVRange> rangesFromOffsets(const std::size_t* offsets, std::uint32_t pairs,
                                       std::size_t groupCount) {
    static_assert(sizeof(PCRE2_SIZE) == sizeof(std::size_t));
    std::vector<HVRange> ranges;
    ranges.reserve(groupCount + 1);
    for (std::uint32_t i = 0; i <= groupCount && i < pairs; ++i) {
        std::size_t from = offsets[2 * i], to = offsets[2 * i + 1];
        if (from == PCRE2_UNSET || to == PCRE2_UNSET)
            ranges.push_back(HVRange{HVNotFound, 0});
        else
            ranges.push_back(HVRange{from, to > from ? to - from : 0});
    }
    return ranges;
}

} // namespace hvregex

namespace {

// One JIT stack per thread, grown on demand: the default 32 KB fails on long subjects.
pcre2_jit_stack* threadJitStack(void*) {
    struct Holder {
        pcre2_jit_stack* stack = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr);
        ~Holder() { pcre2_jit_stack_free(stack); }
    };
    thread_local Holder holder;
    return holder.stack;
}

pcre2_code* compile(std::u16string_view pattern, std::uint32_t options, int* errorCode,
                    PCRE2_SIZE* errorOffset) {
    return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                         hvregex::compileOptions(options), errorCode, errorOffset, nullptr);
}

} // namespace

struct HVRegex::Code16 {
    pcre2_code* code = nullptr;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* context = nullptr;
    ~Code16() {
        pcre2_match_context_free(context);
        pcre2_match_data_free(matchData);
        pcre2_code_free(code);
    }
};

void HVRegex::Code16Deleter::operator()(Code16* code) const {
    delete code;
}

HVRegex::HVRegex(std::u16string pattern, std::uint32_t options,
                 std::unique_ptr<Code16, Code16Deleter> code)
    : m_pattern(std::move(pattern)), m_options(options), m_code16(std::move(code)) {
    uint32_t count = 0;
    pcre2_pattern_info(m_code16->code, PCRE2_INFO_CAPTURECOUNT, &count);
    m_groupCount = count;
}

HVRegex::~HVRegex() = default;

bool HVRegex::validPattern(std::u16string_view pattern) {
    return errorForPattern(pattern).empty();
}

bool HVRegex::validPattern(std::string_view utf8Pattern) {
    return validPattern(HVUnicode::utf16(utf8Pattern));
}

std::string HVRegex::errorForPattern(std::u16string_view pattern, std::uint32_t options) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = compile(pattern, options, &errorCode, &errorOffset);
    if (code) {
        pcre2_code_free(code);
        return {};
    }
    PCRE2_UCHAR buffer[256];
    int length = pcre2_get_error_message(errorCode, buffer, 256);
    std::u16string message(reinterpret_cast<const char16_t*>(buffer),
                           length > 0 ? std::size_t(length) : 0);
    return HVUnicode::utf8(message) + " at offset " + std::to_string(errorOffset);
}

std::unique_ptr<HVRegex> HVRegex::initWithPattern(std::u16string_view pattern) {
    return initWithPattern(pattern, 0);
}

std::unique_ptr<HVRegex> HVRegex::initWithPattern(std::string_view utf8Pattern,
                                                  std::uint32_t options) {
    return initWithPattern(HVUnicode::utf16(utf8Pattern), options);
}

std::unique_ptr<HVRegex> HVRegex::initWithPattern(std::u16string_view pattern,
                                                  std::uint32_t options) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = compile(pattern, options, &errorCode, &errorOffset);
    if (!code)
        return nullptr;
    std::unique_ptr<Code16, Code16Deleter> compiled(new Code16);
    compiled->code = code;
    // Without JIT support the interpreter runs the same pattern; nothing else changes.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    compiled->matchData = pcre2_match_data_create_from_pattern(code, nullptr);
    compiled->context = pcre2_match_context_create(nullptr);
    pcre2_jit_stack_assign(compiled->context, threadJitStack, nullptr);
    return std::unique_ptr<HVRegex>(
        new HVRegex(std::u16string(pattern), options, std::move(compiled)));
}

void HVRegex::setMatchLimit(std::uint32_t limit) {
    m_matchLimit = limit;
    // 0 stands for PCRE2's built-in default; the 8-bit code takes the limit when it is made.
    pcre2_set_match_limit(m_code16->context, limit ? limit : std::uint32_t(10000000));
}

std::optional<HVRegexMatch> HVRegex::copyMatchForString(std::u16string_view subject) {
    return copyMatchForString(subject, HVRange{0, subject.size()}, 0);
}

std::optional<HVRegexMatch> HVRegex::copyMatchForString(std::u16string_view subject,
                                                        HVRange range) {
    return copyMatchForString(subject, range, 0);
}

std::optional<HVRegexMatch> HVRegex::copyMatchForString(std::u16string_view subject, HVRange range,
                                                        std::uint32_t options) {
    range = hvregex::clampRange(range, subject.size());
    std::size_t start = range.location;
    // A search never starts between the two halves of a surrogate pair.
    if (start > 0 && start < subject.size() && (subject[start] & 0xFC00) == 0xDC00 &&
        (subject[start - 1] & 0xFC00) == 0xD800)
        ++start;
    std::size_t end = range.end();
    if (start > end)
        return std::nullopt;
    int rc = pcre2_match(m_code16->code, reinterpret_cast<PCRE2_SPTR>(subject.data()), end, start,
                         hvregex::matchOptions(options), m_code16->matchData, m_code16->context);
    m_hitMatchLimit = rc == PCRE2_ERROR_MATCHLIMIT;
    m_matchLimitHits += m_hitMatchLimit ? 1 : 0;
    m_partial = rc == PCRE2_ERROR_PARTIAL;
    if (rc <= 0)
        return std::nullopt;
    return HVRegexMatch(hvregex::rangesFromOffsets(pcre2_get_ovector_pointer(m_code16->matchData),
                                                   pcre2_get_ovector_count(m_code16->matchData),
                                                   m_groupCount));
}
