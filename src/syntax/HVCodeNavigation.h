#pragma once

#include "HVError.h"
#include "HVPlistValue.h"
#include "HVRange.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class HVParser;

// One landmark of a file for the navigation menu: a function, a class, a heading, or a
// separator between groups.
struct HVCodeNavEntry {
    // The display template applied to the match, shortened to at most 71 characters; empty for
    // a separator.
    std::u16string title;
    bool separator = false;
    bool bold = false;
    bool italic = false;
    // The image's name as the definition gives it, and the file found for it (empty when none).
    std::string iconName;
    std::string iconPath;
    // The whole match, in positions of the text that was searched.
    HVRange range;

    friend bool operator==(const HVCodeNavEntry&, const HVCodeNavEntry&) = default;
};

// What a language's parser needs of its code navigation. The code navigation itself stands
// above the syntax layer (it lives with the other code intelligence), so the parsers see it
// only through this interface, and bundles build it through a factory that the code
// intelligence layer installs (HVCodeNavParser::registerWithBundles()). Without a factory a
// bundle keeps its "codenav.plist" as data and writes it back unchanged.
class HVCodeNavigation {
public:
    // Builds the code navigation of a parser from the items of a "codenav.plist"; problems
    // (an item whose pattern does not compile) go to errors, and what can be kept is kept.
    using Factory = std::function<std::shared_ptr<HVCodeNavigation>(
        const HVPlistValue& items, HVParser& parser, std::vector<HVError>& errors)>;

    virtual ~HVCodeNavigation();

    // The entries of every item over range of text, item after item, each item's in text
    // order; ranges are positions in text.
    virtual std::vector<HVCodeNavEntry> matchesForString(std::u16string_view text,
                                                         HVRange range) = 0;
    // Writes "codenav.plist" into a bundle's "Contents" directory.
    virtual bool commitToPath(const std::string& contentsDirectory,
                              HVError* error = nullptr) const = 0;
    // The array of item dictionaries.
    virtual HVPlistValue plistRepresentation() const = 0;

    // Installs the factory (none removes it). Safe from any thread.
    static void setFactory(Factory factory);
    static bool hasFactory();
    // None when no factory is installed or it made nothing.
    static std::shared_ptr<HVCodeNavigation> make(const HVPlistValue& items, HVParser& parser,
                                                  std::vector<HVError>& errors);
};
