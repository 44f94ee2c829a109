#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

class HVTextBuffer;
class HVTheme;

// A theme that gives each of the style ids its own foreground colour, so that a painted run
// tells which id painted it.
std::shared_ptr<HVTheme> HVMakeTestTheme(std::initializer_list<std::string_view> styleIds);

// The painted runs of a buffer as one line: "start+length style" for every run with a
// foreground colour (named by the theme's style of that colour), with " ml" when the run is
// marked multi-line, joined by ", ". Unpainted runs are left out.
std::string HVDumpRuns(const HVTextBuffer& buffer, const HVTheme& theme);
