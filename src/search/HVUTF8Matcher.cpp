#define PCRE2_CODE_UNIT_WIDTH 8
#include "HVUTF8Matcher.h"

#include "HVRegex.h"
#include "HVRegexSupport.h"
#include "HVSearch.h"
#include "HVUnicode.h"

#include <pcre2.h>

#include <algorithm>

namespace {

bool hasUnpairedSurrogate(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if ((unit & 0xFC00) == 0xD800 && i + 1 < text.size() && (text[i + 1] & 0xFC00) == 0xDC00)
            ++i;
        else if ((unit & 0xF800) == 0xD800)
            return true;
    }
    return false;
}

// The literal as an expression: ASCII punctuation and controls escaped, the rest as it is.
std::string escapedPattern(std::u16string_view literal) {
    std::string utf8 = HVUnicode::utf8(literal);
    std::string pattern;
    pattern.reserve(utf8.size() * 2);
    static const char hex[] = "0123456789abcdef";
    for (char c : utf8) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            pattern += "\\x{";
            pattern += hex[byte >> 4];
            pattern += hex[byte & 15];
            pattern += '}';
        } else if (byte < 0x80 && !std::isalnum(byte)) {
            pattern += '\\';
            pattern += c;
        } else {
            pattern += c;
        }
    }
    return pattern;
}

} // namespace

struct HVUTF8Matcher::Code {
    pcre2_code* code = nullptr;
    pcre2_match_data* matchData = nullptr;
    pcre2_match_context* context = nullptr;
    std::uint32_t matchOptions = 0;
    bool jit = false;
    ~Code() {
        pcre2_match_context_free(context);
        pcre2_match_data_free(matchData);
        pcre2_code_free(code);
    }
};

HVUTF8Matcher::HVUTF8Matcher() = default;
HVUTF8Matcher::~HVUTF8Matcher() = default;

std::unique_ptr<HVUTF8Matcher> HVUTF8Matcher::create(const HVSearch& search) {
    std::unique_ptr<HVUTF8Matcher> matcher(new HVUTF8Matcher);
    std::string pattern;
    std::uint32_t options = 0;
    std::uint32_t matchLimit = 0;
    if (search.isRegularExpression()) {
        HVRegex* expression = search.expression();
        if (!expression) {
            matcher->m_findsNothing = true;
            return matcher;
        }
        if (hasUnpairedSurrogate(expression->pattern()))
            return nullptr;
        pattern = HVUnicode::utf8(expression->pattern());
        options = hvregex::compileOptions(expression->options());
        matchLimit = expression->matchLimit();
        // Ranged searches of text pass the search's own option word.
        matcher->m_code.reset(new Code);
        matcher->m_code->matchOptions = hvregex::matchOptions(search.options());
    } else {
        std::u16string_view needle = search.searchString();
        if (needle.empty()) {
            matcher->m_findsNothing = true;
            return matcher;
        }
        if (hasUnpairedSurrogate(needle))
            return nullptr;
        pattern = escapedPattern(needle);
        matcher->m_asciiLiteral =
            std::all_of(needle.begin(), needle.end(), [](char16_t unit) { return unit < 0x80; });
        options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
        if (!search.caseSensitive())
            options |= PCRE2_CASELESS;
        matcher->m_code.reset(new Code);
    }
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    Code& code = *matcher->m_code;
    code.code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                              &errorCode, &errorOffset, nullptr);
    if (!code.code)
        return nullptr;
    // PCRE2 before 10.43 compiles \S, \W and \D wrongly for ill-formed UTF-8; our subjects are
    // well-formed, so the compiled matcher is safe here.
    code.jit = pcre2_jit_compile(code.code, PCRE2_JIT_COMPLETE) == 0;
    code.matchData = pcre2_match_data_create_from_pattern(code.code, nullptr);
    code.context = pcre2_match_context_create(nullptr);
    pcre2_jit_stack_assign(code.context, hvregex::threadJitStack8, nullptr);
    if (matchLimit)
        pcre2_set_match_limit(code.context, matchLimit);
    return matcher;
}

void HVUTF8Matcher::findAll(std::string_view data, std::vector<HVRange>& ranges) {
    ranges.clear();
    if (m_findsNothing || !m_code)
        return;
    Code& code = *m_code;
    auto subject = reinterpret_cast<PCRE2_SPTR>(data.data());
    const std::size_t size = data.size();
    std::size_t start = 0;
    bool lastEmpty = false;
    const std::uint32_t options = code.matchOptions | PCRE2_NO_UTF_CHECK;
    while (start < size) {
        if (lastEmpty) {
            // After an empty match: a non-empty one at the same place, else one character on.
            int rc = pcre2_match(code.code, subject, size, start,
                                 options | PCRE2_ANCHORED | PCRE2_NOTEMPTY, code.matchData,
                                 code.context);
            if (rc > 0) {
                PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(code.matchData);
                ranges.push_back(HVRange{offsets[0], offsets[1] - offsets[0]});
                start = offsets[1];
                lastEmpty = false;
                continue;
            }
            ++start;
            while (start < size && (static_cast<unsigned char>(data[start]) & 0xC0) == 0x80)
                ++start;
            if (start >= size)
                break;
        }
        int rc =
            pcre2_match(code.code, subject, size, start, options, code.matchData, code.context);
        if (rc <= 0)
            break;
        PCRE2_SIZE* offsets = pcre2_get_ovector_pointer(code.matchData);
        ranges.push_back(HVRange{offsets[0], offsets[1] - offsets[0]});
        lastEmpty = offsets[1] == offsets[0];
        start = offsets[1];
    }
}
