#pragma once
// Shapefile names proposed from the data: a parameter's name or a day's text made fit to be a
// file name in the chosen folder. A name the user types is used as typed.

#include <string>

namespace pontrel {

// `text` with each character that a file name cannot hold (/ \ : * ? " < > |) replaced by "-";
// a text made only of dots, which would name the folder or its parent, becomes "-".
std::string fileNameSafe(std::string text);

}  // namespace pontrel
