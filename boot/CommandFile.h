// The boot download's command file: sections of a title line, a second
// header line, one or more lines of hexadecimal text and an empty line.
// Blanks (spaces and tabs) in data lines are ignored; characters are taken
// in pairs, the first giving the high four bits. The reader takes any
// character that is not a hexadecimal digit as 0 and ignores a last
// character without a partner; CheckSections refuses a file that has
// either, so that no such file is ever sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace zel {

// Reads the section at which file stands into buffer (room bytes) and
// returns its byte count; 0 when no section could be read: end of file
// before the terminator, an empty first data line, no bytes at all, or more
// bytes than the room holds (nothing is ever stored past it).
size_t ReadNextSection(std::FILE* file, uint8_t* buffer, size_t room);

// Decodes one data line into buffer; returns the bytes stored, or
// kLineDoesNotFit (storing nothing) when they would not fit in room.
constexpr size_t kLineDoesNotFit = static_cast<size_t>(-1);
size_t DecodeHexLine(uint8_t* buffer, size_t room, const std::string& line);

// Two characters as one byte, the first giving the high four bits.
uint8_t HexPairToByte(const char pair[2]);
// The value of a hexadecimal digit in either case; 0 for anything else.
uint8_t HexDigitValue(char c);

// Checks the first two sections as ReadNextSection will read them, from
// the file's start: empty when both are sound, else what is wrong and
// where, such as "line 6, column 4: 'ZZ' is not a hexadecimal byte". Each
// section must fit in room bytes. Leaves the file at its start.
std::string CheckSections(std::FILE* file, size_t room);

// Reads one line, without its LF or CR LF; false at end of file.
bool ReadTextLine(std::FILE* file, std::string& line);

}  // namespace zel
