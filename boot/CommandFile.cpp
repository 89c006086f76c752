#include "boot/CommandFile.h"

#include <cctype>

namespace zel {

uint8_t HexDigitValue(char c) {
  const int u = std::toupper(static_cast<unsigned char>(c));
  if (u >= '0' && u <= '9') return static_cast<uint8_t>(u - '0');
  if (u >= 'A' && u <= 'F') return static_cast<uint8_t>(u - 'A' + 10);
  return 0;
}

uint8_t HexPairToByte(const char pair[2]) {
  return static_cast<uint8_t>(HexDigitValue(pair[0]) * 16 + HexDigitValue(pair[1]));
}

size_t DecodeHexLine(uint8_t* buffer, size_t room, const std::string& line) {
  std::string digits;
  digits.reserve(line.size());
  for (char c : line)
    if (c != ' ') digits += c;
  const size_t count = digits.size() / 2;
  if (count > room) return kLineDoesNotFit;
  for (size_t i = 0; i < count; ++i) buffer[i] = HexPairToByte(&digits[2 * i]);
  return count;
}

bool ReadTextLine(std::FILE* file, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(file)) != EOF) {
    any = true;
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return true;
    }
    line += static_cast<char>(c);
  }
  return any;  // a last line without a line end
}

size_t ReadNextSection(std::FILE* file, uint8_t* buffer, size_t room) {
  std::string line;
  if (!ReadTextLine(file, line)) return 0;  // title
  if (!ReadTextLine(file, line)) return 0;  // second header
  if (!ReadTextLine(file, line) || line.empty()) return 0;
  size_t count = 0;
  for (;;) {
    const size_t stored = DecodeHexLine(buffer + count, room - count, line);
    if (stored == kLineDoesNotFit) return 0;
    count += stored;
    if (!ReadTextLine(file, line)) return 0;  // the section is lost without its terminator
    if (line.empty()) return count;
  }
}

}  // namespace zel
