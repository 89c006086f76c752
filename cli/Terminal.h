// What the command line asks of the terminal, each platform answering in
// its own file.
#pragma once

#include <cstdio>

namespace zel::cli {

// True when the stream is a terminal (or a console): someone reads it as
// it comes.
bool IsTerminal(std::FILE* stream);
// True when the stream is a terminal where a progress bar can redraw in
// place: one that takes escape sequences, or a Windows console that shows
// them as text and is redrawn through its own calls instead. Elsewhere
// progress goes as lines.
bool CanRedraw(std::FILE* stream);
// On a stream that can redraw: blanks the last `lines` lines, the one the
// cursor is on included, and leaves the cursor at the start of the first.
void EraseLines(std::FILE* stream, int lines);
// The terminal's width in columns now (it follows a resize); 0 when the
// stream is no terminal or does not say.
int TerminalColumns(std::FILE* stream);
// True when both streams write to one file, pipe or terminal (`2>&1`, a
// CI log, `| tee` of both): what goes to one is seen on the other.
bool SameDestination(std::FILE* a, std::FILE* b);
// Readies standard output and error before the first write. A reader that
// goes away (`boxfeed ... | head`) must not end the run: a write to a
// closed pipe then fails instead of killing the process. A console shows
// the program's text, which is UTF-8.
void PrepareOutput();

}  // namespace zel::cli
