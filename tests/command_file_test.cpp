#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "boot/CommandFile.h"

namespace zel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Decode(const std::string& line, size_t room = 64) {
  Bytes buffer(room, 0xEE);
  const size_t n = DecodeHexLine(buffer.data(), room, line);
  if (n == kLineDoesNotFit) return {0xDE, 0xAD};
  buffer.resize(n);
  return buffer;
}

// Reads the sections of a file's text, as the boot download reads them.
class CSections {
 public:
  explicit CSections(const std::string& text) : m_text(text), m_file(std::tmpfile()) {
    std::fwrite(m_text.data(), 1, m_text.size(), m_file);
    std::rewind(m_file);
  }
  ~CSections() { std::fclose(m_file); }
  std::FILE* File() { return m_file; }
  Bytes Next(size_t room = 4000) {
    Bytes buffer(room);
    buffer.resize(ReadNextSection(m_file, buffer.data(), room));
    return buffer;
  }

 private:
  std::string m_text;
  std::FILE* m_file;
};

TEST(HexLines, PairsBlanksCaseAndInvalidCharacters) {
  EXPECT_EQ(Decode("0a1B"), (Bytes{0x0A, 0x1B}));
  EXPECT_EQ(Decode("0A 1b"), (Bytes{0x0A, 0x1B}));
  EXPECT_EQ(Decode("ABC"), (Bytes{0xAB}));
  EXPECT_EQ(Decode("A"), Bytes{});
  EXPECT_EQ(Decode("    "), Bytes{});
  EXPECT_EQ(Decode("G1"), (Bytes{0x01}));
  EXPECT_EQ(Decode("zz"), (Bytes{0x00}));
  EXPECT_EQ(Decode("\tF"), Bytes{}) << "a tab is a blank";
  EXPECT_EQ(Decode("1\t2"), (Bytes{0x12}));
}

TEST(HexLines, ALineThatDoesNotFitStoresNothing) {
  Bytes buffer(3, 0xEE);
  EXPECT_EQ(DecodeHexLine(buffer.data(), 2, "010203"), kLineDoesNotFit);
  EXPECT_EQ(buffer, (Bytes{0xEE, 0xEE, 0xEE}));
  EXPECT_EQ(DecodeHexLine(buffer.data(), 3, "010203"), 3u);
}

TEST(Sections, TheWorkedExampleWithEitherLineEnd) {
  for (const char* end : {"\n", "\r\n"}) {
    const std::string e = end;
    CSections file("title" + e + "comment" + e + "12 34 5" + e + "6ab" + e + e + "t2" + e + "h2" + e + "FF" +
                   e + e);
    EXPECT_EQ(file.Next(), (Bytes{0x12, 0x34, 0x6A}));
    EXPECT_EQ(file.Next(), (Bytes{0xFF}));
  }
}

TEST(Sections, EndOfFileBeforeTheTerminatorLosesTheSection) {
  CSections file("t\nh\n01\n\nt2\nh2\n02\n03");
  EXPECT_EQ(file.Next(), (Bytes{0x01}));
  EXPECT_EQ(file.Next(), Bytes{});
}

TEST(Sections, AnExtraEmptyLineShiftsTheNextSection) {
  CSections file("t\nh\n01\n\n\nreal title\n0A0B\n\n");
  EXPECT_EQ(file.Next(), (Bytes{0x01}));
  EXPECT_EQ(file.Next(), (Bytes{0x0A, 0x0B})) << "the real second header is read as data";
}

TEST(Sections, EmptyOrByteLessSectionsFail) {
  CSections emptyFirst("t\nh\n\n");
  EXPECT_EQ(emptyFirst.Next(), Bytes{});
  CSections blanks("t\nh\n   \nA\n\n");
  EXPECT_EQ(blanks.Next(), Bytes{}) << "lines of blanks and single characters yield nothing";
  CSections none("");
  EXPECT_EQ(none.Next(), Bytes{});
}

TEST(Sections, AnOversizeSectionFailsWithoutWritingPastTheRoom) {
  std::string text = "t\nh\n";
  for (int i = 0; i < 5; ++i) text += "00112233445566778899\n";  // 10 bytes a line
  text += "\n";
  CSections file(text), again(text);
  Bytes buffer(60, 0xEE);
  EXPECT_EQ(ReadNextSection(again.File(), buffer.data(), 45), 0u);
  for (size_t i = 45; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << i;
  EXPECT_EQ(file.Next(50).size(), 50u) << "exactly full still fits";
}

// Every file the reader would send otherwise than it reads is refused
// before anything is sent, naming the place.
TEST(Sections, TheCheckRefusesWhatTheReaderWouldSendOtherwise) {
  const std::string second = "t2\nh2\nFF\n\n";
  const struct {
    std::string text;
    std::string problem;
  } cases[] = {
      {"t\nh\n12 34\n\t56\n\n" + second, ""},
      {"t\nh\n0102\n\nt2\nh2\n5A ZZ A5\n\n", "line 7, column 4: 'ZZ' is not a hexadecimal byte"},
      {"t\nh\n0G\n\n" + second, "line 3, column 1: '0G' is not a hexadecimal byte"},
      {"t\nh\n0102A\n\n" + second, "line 3, column 5: 'A' has no second digit"},
      {"t\nh\n  \n\n" + second, "line 4: the first section holds no bytes"},
      {"t\nh\n\n" + second, "line 3: the first section has no hexadecimal line"},
      {"t\nh\n01\n\n",
       "fewer than two sections (a title, a header, hexadecimal lines and an empty line each)"},
      {"t\nh\n01\n\nt2\nh2\n02", "line 8: the file ends before the second section's empty line"},
      {"t\nh\n" + std::string(8002, '0') + "\n\n" + second,
       "line 3: the first section holds more than 4000 bytes"},
  };
  for (const auto& c : cases) {
    CSections file(c.text);
    EXPECT_EQ(CheckSections(file.File(), 4000), c.problem) << c.text.substr(0, 60);
    if (c.problem.empty()) {
      EXPECT_EQ(file.Next(), (Bytes{0x12, 0x34, 0x56})) << "left at the start";
    }
  }
}

}  // namespace
}  // namespace zel
