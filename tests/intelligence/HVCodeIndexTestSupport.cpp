#include "HVCodeIndexTestSupport.h"

#include "HVBundleRepository.h"
#include "HVUnicode.h"

#include <algorithm>

using Dict = HVPlistValue::Dictionary;
using Array = HVPlistValue::Array;

namespace {

Dict key(const char* pattern, int name, const char* type, int completion = 0) {
    return Dict{{"pattern", pattern}, {"key", name}, {"completion", completion}, {"type", type}};
}

} // namespace

HVIndexWorld::HVIndexWorld() {
    HVBundleRepository::sharedRepository().reset();
    language("Code.hvbundle", "source.tcode", Array{"tcode"}, codeIndexer());
    language("Page.hvbundle", "text.tpage", Array{"tpage"},
             Dict{{"includes",
                   Array{Dict{{"id", "source.tcode"}, {"begin", "<\\?code"}, {"end", "\\?>"}}}},
                  // Would find the embedded code's functions if they were not blanked out.
                  {"keys",
                   Array{key("id=\"(\\w+)\"", 1, "id"), key("function\\s+(\\w+)", 1, "markup")}}});
    language("Perlish.hvbundle", "source.tperl", Array{"tpl", "pm"},
             Dict{{"tags", Array{"package\\s+([\\w:]+)"}},
                  {"external-files", Array{"use\\s+([\\w:]+)"}},
                  {"pathResolution", "HVPerlPathResolver"},
                  {"keys", Array{key("sub\\s+(\\w+)", 1, "function")}}});
    language("Quiet.hvbundle", "source.tquiet", Array{"tquiet"},
             Dict{{"enabled", false}, {"keys", Array{key("(\\w+)", 1, "word")}}});
}

HVIndexWorld::~HVIndexWorld() {
    HVBundleRepository::sharedRepository().reset();
}

HVPlistValue HVIndexWorld::codeIndexer() {
    return Dict{
        {"format-version", "1.0"},
        {"comments", Array{"(?s)/\\*.*?\\*/", "//[^\\n]*"}},
        {"external-files", Array{"include\\s*'([^']+)'"}},
        {"pre-remove-keys",
         Array{key("define\\(\\s*'(\\w+)'", 1, "constant"), key("function\\s+(\\w+)", 1, "early")}},
        {"remove", Array{"'[^']*'"}},
        {"keys", Array{key("function\\s+(\\w+)\\s*\\([^)]*\\)", 1, "function"),
                       key("CLASS\\s+(\\w+)", 1, "class", 1)}},
    };
}

std::string HVIndexWorld::language(const std::string& name, const std::string& parserIdentifier,
                                   HVPlistValue::Array fileTypes, const HVPlistValue& indexer) {
    return HVBundleTestEnvironment::writeBundle(
        environment.shippedBundles(), name,
        Dict{{"CFBundleIdentifier", "test." + parserIdentifier},
             {"CFBundleName", name.substr(0, name.find('.'))},
             {"file-types", std::move(fileTypes)}},
        {{"syntax.plist", Dict{{"format-id", parserIdentifier}}}, {"indexer.plist", indexer}});
}

std::string HVDescribeKeys(const std::vector<HVCodeIndexKey>& keys) {
    std::vector<std::string> lines;
    for (const auto& key : keys)
        lines.push_back(HVUnicode::utf8(key.key) + " " + HVUnicode::utf8(key.type) + " " +
                        key.classString);
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const auto& line : lines)
        out += (out.empty() ? "" : ", ") + line;
    return out;
}

std::string HVKeyNames(const std::vector<HVCodeIndexKey>& keys) {
    std::vector<std::string> names;
    for (const auto& key : keys)
        names.push_back(HVUnicode::utf8(key.key));
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& name : names)
        out += (out.empty() ? "" : " ") + name;
    return out;
}
