// boxfeed results: the yield of the records in one or more results files
// (one per station), as a table, CSV for a spreadsheet, or JSON.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zel::cli {

struct CResultsCommand {
  std::vector<std::string> files;
  std::string since;  // a date (2026-12-01) or a time as records keep it; empty for all
  std::string by = "day";
  bool csv = false;
  bool json = false;  // one JSON object: {"by":...,"since":...,"groups":[...],"total":{...}}
};

// Prints the report on out, what could not be read on err. 0, or 1 when a
// file could not be read, 64 for an unknown --by.
int ShowResults(const CResultsCommand& command, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace zel::cli
