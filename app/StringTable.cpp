#include "app/StringTable.h"

namespace zel {

std::string LoadAppString(int id) {
  switch (id) {
    case 101: return "&About BoxFeeder...";
    case 102: return "Select the download File";
    case 103: return "Start to Download the File";
    case 104: return "Close The Application";
    case 105: return "Save the debug trace to a file";
    case 106: return "Clear the trace";
    case 107: return "Enable or Disable the Debug trace";
    default: return {};
  }
}

}  // namespace zel
