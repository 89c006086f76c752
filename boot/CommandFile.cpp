#include "boot/CommandFile.h"

#include <cctype>

namespace zel {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// What is wrong with one data line, or empty; its digit pairs are added
// to bytes.
std::string CheckDataLine(const std::string& line, size_t number, size_t& bytes) {
  size_t firstColumn = 0;  // of the pending digit, 1-based; 0 when none
  char first = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (IsBlank(c)) continue;
    if (firstColumn == 0) {
      firstColumn = i + 1;
      first = c;
      continue;
    }
    if (!IsHexDigit(first) || !IsHexDigit(c))
      return "line " + std::to_string(number) + ", column " + std::to_string(firstColumn) + ": '" + first +
             c + "' is not a hexadecimal byte";
    ++bytes;
    firstColumn = 0;
  }
  if (firstColumn != 0)
    return "line " + std::to_string(number) + ", column " + std::to_string(firstColumn) + ": '" + first +
           "' has no second digit";
  return {};
}

}  // namespace

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
    if (!IsBlank(c)) digits += c;
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

std::string CheckSections(std::FILE* file, size_t room) {
  std::rewind(file);
  std::string line, problem;
  size_t number = 0;
  auto next = [&] {
    ++number;
    return ReadTextLine(file, line);
  };
  for (const char* which : {"first", "second"}) {
    const std::string section = std::string("the ") + which + " section";
    if (!next()) {
      problem = "fewer than two sections (a title, a header, hexadecimal lines and an empty line each)";
      break;
    }
    if (!next() || !next() || line.empty()) {
      problem = "line " + std::to_string(number) + ": " + section + " has no hexadecimal line";
      break;
    }
    size_t bytes = 0;
    while (problem.empty() && !line.empty()) {
      problem = CheckDataLine(line, number, bytes);
      if (problem.empty() && bytes > room)
        problem = "line " + std::to_string(number) + ": " + section + " holds more than " +
                  std::to_string(room) + " bytes";
      if (problem.empty() && !next())
        problem = "line " + std::to_string(number) + ": the file ends before " + section + "'s empty line";
    }
    if (problem.empty() && bytes == 0)
      problem = "line " + std::to_string(number) + ": " + section + " holds no bytes";
    if (!problem.empty()) break;
  }
  std::rewind(file);
  return problem;
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
