#pragma once

#include "document/MarkTool.h"

#include <array>

namespace crel::NativeTests {

// Written out rather than read from MarkTool, so a changed shortcut letter or a
// lost doodle form fails a check instead of quietly changing what it checks.
struct ToolLetter {
  MarkTool tool;
  char letter;
};

inline constexpr std::array<ToolLetter, 13> toolLetters{{
    {MarkTool::select, 'v'},
    {MarkTool::arrow, 'a'},
    {MarkTool::line, 'l'},
    {MarkTool::rectangle, 'r'},
    {MarkTool::ellipse, 'o'},
    {MarkTool::triangle, 'g'},
    {MarkTool::pen, 'p'},
    {MarkTool::text, 't'},
    {MarkTool::highlight, 'h'},
    {MarkTool::blur, 'u'},
    {MarkTool::redact, 'b'},
    {MarkTool::step, 'n'},
    {MarkTool::extract, 'x'},
}};

// The tools that have a doodle form, in tool order.
inline constexpr std::array<MarkTool, 7> styleTools{MarkTool::arrow,   MarkTool::line,     MarkTool::rectangle,
                                                    MarkTool::ellipse, MarkTool::triangle, MarkTool::pen,
                                                    MarkTool::text};

} // namespace crel::NativeTests
