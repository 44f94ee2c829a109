#pragma once

#include "HVCodeNavigation.h"

#include <memory>
#include <vector>

class HVCodeNavItem;
class HVParser;

// A language's code navigation: the ordered searches of its "codenav.plist", run over a text
// to list its landmarks. The language's parser owns it and sorts what it finds.
class HVCodeNavParser : public HVCodeNavigation {
public:
    // An item per dictionary of the array; an item whose pattern does not compile is left out,
    // with the reason in loadErrors().
    HVCodeNavParser(const HVPlistValue& plist, HVParser* parser);
    ~HVCodeNavParser() override;

    // Lets bundles build their code navigation with this class. Programs and tests that want
    // code navigation call it once before the bundles load; calling it again does no harm.
    static void registerWithBundles();

    // For each item in order, its matches over range of text in text order (Algorithms of the
    // code navigation): a separator entry for a separator item; otherwise the template applied
    // to the match (the pattern matched again within the matched text), shortened; no entry
    // when the pattern does not match the matched text on its own, a separator when the title
    // comes out empty. Each entry carries the match's range in text. "^" sees the real line
    // starts of text, also when the range starts within a line.
    std::vector<HVCodeNavEntry> matchesForString(std::u16string_view text, HVRange range) override;
    // Writes "codenav.plist" (binary) into the directory.
    bool commitToPath(const std::string& contentsDirectory,
                      HVError* error = nullptr) const override;
    HVPlistValue plistRepresentation() const override;

    const std::vector<std::unique_ptr<HVCodeNavItem>>& searches() const { return m_searches; }
    void setSearches(std::vector<std::unique_ptr<HVCodeNavItem>> searches);
    HVParser* parser() const { return m_parser; }
    const std::vector<HVError>& loadErrors() const { return m_loadErrors; }

private:
    HVParser* m_parser = nullptr;
    std::vector<std::unique_ptr<HVCodeNavItem>> m_searches;
    std::vector<HVError> m_loadErrors;
};
