#include "HVKeyword.h"

#include "HVParser.h"
#include "HVRegex.h"
#include "HVUnicode.h"

HVKeyword::HVKeyword(std::string identifier, std::u16string keyword)
    : m_identifier(std::move(identifier)), m_keyword(std::move(keyword)) {}

HVKeyword HVKeyword::pattern(std::string identifier, std::u16string pattern, HVError* error) {
    HVKeyword keyword;
    keyword.m_identifier = std::move(identifier);
    keyword.m_isPattern = true;
    keyword.m_regex = HVRegex::initWithPattern(pattern);
    if (!keyword.m_regex) {
        HVSetError(error, HVError(HVSyntaxErrorDomain, HVSyntaxDefinitionError,
                                  "The keyword pattern \"" + HVUnicode::utf8(pattern) +
                                      "\" is not a valid regular expression: " +
                                      HVRegex::errorForPattern(pattern)));
    }
    keyword.m_pattern = std::move(pattern);
    return keyword;
}

HVKeyword::~HVKeyword() = default;
HVKeyword::HVKeyword(HVKeyword&&) noexcept = default;
HVKeyword& HVKeyword::operator=(HVKeyword&&) noexcept = default;

bool HVKeyword::matchesWholeWord(std::u16string_view word) const {
    if (!m_regex)
        return false;
    auto match = m_regex->copyMatchForString(word);
    return match && match->rangeForCapture(0).length == word.size();
}

const HVAttributes& HVKeyword::attributes() const {
    static const HVAttributes empty;
    return m_attributes ? *m_attributes : empty;
}
