#include "HVCLITestSupport.h"

#include "Defaults.h"
#include "HVCommandLineTool.h"
#include "HVFileSystem.h"
#include "HVPropertyList.h"
#include "HVTestSupport.h"

#include <gtest/gtest.h>
#include <sstream>

void HVInstallCLITestData() {
    std::string bundles = Defaults::appSupportPathForFile("Bundles");
    if (HVFileSystem::isDirectory(bundles))
        return;
    HVError error;
    HVFileSystem::createDirectory(Defaults::supportDirectory());
    if (!HVFileSystem::copyDirectory(HVTestDataPath("bundles"), bundles, &error))
        ADD_FAILURE() << error.fullDescription();
    using Dict = HVPlistValue::Dictionary;
    using Array = HVPlistValue::Array;
    Dict theme{{"id", kCLITestTheme},
               {"format-title", "CLI Test"},
               {"global-settings", Dict{{"background", "#101010"}, {"foreground", "#e0e0e0"}}},
               {"styles", Array{Dict{{"id", "entity.name.tag"}, {"foreground", "#0000ff"}},
                                Dict{{"id", "string"}, {"foreground", "#00ff00"}},
                                Dict{{"id", "keyword"}, {"foreground", "#ff0000"}, {"bold", true}},
                                Dict{{"id", "comment"},
                                     {"foreground", "#808080"},
                                     {"background", "#202020"},
                                     {"italic", true}}}}};
    std::string themes = Defaults::appSupportPathForFile("Themes");
    HVFileSystem::createDirectory(themes);
    if (!HVPropertyList::writeToFile(theme, themes + "/test.cli.plist", HVPlistFormat::XML, &error))
        ADD_FAILURE() << error.fullDescription();
}

HVToolRun HVRunTool(std::vector<std::string> arguments) {
    HVInstallCLITestData();
    std::ostringstream out, err;
    HVCommandLineTool tool(out, err);
    int status = tool.run(arguments);
    return {status, out.str(), err.str()};
}
