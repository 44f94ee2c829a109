#pragma once

#include <string_view>

class QFont;
class QPrinter;

// Prints a text as the editor's font sets it, black on white, wrapped to the page's width,
// with margins of 36 points on every side.
void HVPrintText(std::u16string_view text, const QFont& font, QPrinter& printer);
