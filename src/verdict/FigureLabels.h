#pragma once
#include <string>
#include <string_view>

namespace kt {

// A figure as the pages name it, in the window's language, for whatever
// tells an operator about a figure: "THDI" / "电流总谐波", "Current 3rd
// harmonic" / "电流 3 次谐波". The page's word without its unit and colon;
// the value written after it carries the unit. Every figure has its own
// label in each language. A name that is no figure comes back unchanged.
std::string FigureLabel(std::string_view figureName, bool chinese);

}  // namespace kt
