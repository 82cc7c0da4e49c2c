#pragma once

#include <string>

namespace tlv {

// Folder of the running executable ("" when unknown): the program folder of the layout.
std::string runningExecutableFolder();
// True when standard input is a terminal someone can answer a question on.
bool standardInputIsTerminal();

} // namespace tlv
