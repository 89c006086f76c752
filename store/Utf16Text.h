// UTF-8, as the program keeps every text, to and from UTF-16, as ODBC's
// wide calls and Windows' take it, on every platform.
#pragma once

#include <string>

namespace zel {

// A byte that is no part of UTF-8 becomes U+FFFD.
std::u16string Utf16(const std::string& text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf8(const std::u16string& text);

}  // namespace zel
