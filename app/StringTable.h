// The program's string table.
#pragma once

#include <string>

namespace zel {

// The string with this id; empty when there is none.
std::string LoadAppString(int id);

}  // namespace zel
