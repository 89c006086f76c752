// The command-file reader fed any file: its first two sections must equal
// a second, plain reading of the format, written apart from the reader:
// lines end at LF (a CR before it goes too); a section is a title, a
// second header, data lines and an empty line; blanks are dropped and
// characters read in pairs, a non-digit counting 0; end of file before the
// empty line, an empty first data line or no bytes at all lose the
// section, and so do more bytes than the room. A file that the strict check
// passes must give both sections.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "boot/CommandFile.h"

namespace {

constexpr size_t kRoom = 4000;

struct CPlainFile {
  std::vector<std::string> lines;
  size_t next = 0;

  explicit CPlainFile(const std::string& text) {
    size_t start = 0;
    for (;;) {
      const size_t end = text.find('\n', start);
      if (end == std::string::npos) {
        if (start < text.size()) lines.push_back(text.substr(start));  // a last line without its end
        return;
      }
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      start = end + 1;
    }
  }
  std::optional<std::string> Line() {
    if (next == lines.size()) return std::nullopt;
    return lines[next++];
  }
};

int Nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

std::vector<uint8_t> Section(CPlainFile& file) {
  if (!file.Line() || !file.Line()) return {};
  std::vector<uint8_t> bytes;
  auto line = file.Line();
  if (!line || line->empty()) return {};
  for (;;) {
    std::string digits;
    for (char c : *line)
      if (c != ' ' && c != '\t') digits += c;
    if (bytes.size() + digits.size() / 2 > kRoom) return {};
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
      bytes.push_back(static_cast<uint8_t>(Nibble(digits[i]) * 16 + Nibble(digits[i + 1])));
    line = file.Line();
    if (!line) return {};
    if (line->empty()) return bytes;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::rewind(file);
  CPlainFile plain(std::string(reinterpret_cast<const char*>(data), size));
  // A file the check passes is read whole, two sections of bytes; it
  // leaves the file at its start.
  const bool sound = zel::CheckSections(file, kRoom).empty();
  int sectionsRead = 0;
  for (int section = 0; section < 2; ++section) {
    std::vector<uint8_t> buffer(kRoom + 16, 0xEE);
    const size_t count = zel::ReadNextSection(file, buffer.data(), kRoom);
    const std::vector<uint8_t> expected = Section(plain);
    if (count != expected.size() || !std::equal(expected.begin(), expected.end(), buffer.begin())) {
      std::fprintf(stderr, "section %d: %zu bytes, the plain reading %zu\n", section + 1, count,
                   expected.size());
      std::abort();
    }
    for (size_t i = kRoom; i < buffer.size(); ++i)
      if (buffer[i] != 0xEE) std::abort();  // nothing past the room
    if (count == 0) break;                  // where the reader stands after a lost section is not defined
    ++sectionsRead;
  }
  if (sound && sectionsRead != 2) std::abort();
  std::fclose(file);
  return 0;
}
