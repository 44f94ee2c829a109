#include "HVInvisibleSymbols.h"

#include "HVTextBuffer.h"

std::vector<HVInvisibleSymbol> HVInvisibleSymbolsInRange(const HVTextBuffer& text, HVRange range) {
    std::vector<HVInvisibleSymbol> symbols;
    std::u16string characters = text.substring(range);
    for (std::size_t i = 0; i < characters.size(); ++i) {
        std::size_t position = range.location + i;
        switch (characters[i]) {
        case u' ':
            symbols.push_back({position, u'\u00B7'});
            break;
        case u'\t':
            symbols.push_back({position, u'\u22EF'});
            break;
        case u'\n':
            // The LF of a CR LF pair was shown with its CR.
            if (position == 0 || text.characterAtIndex(position - 1) != u'\r')
                symbols.push_back({position, u'\u00B6'});
            break;
        case u'\r':
        case u'\u2028':
        case u'\u2029':
            symbols.push_back({position, u'\u00B6'});
            break;
        default:
            break;
        }
    }
    return symbols;
}
