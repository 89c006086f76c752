// The application object: runs the main dialog modally; the program ends
// with it.
#pragma once

#include <string>

namespace zel {

class CDownloaderApp {
 public:
  // imagePath: an image to open with, as the program's argument (the
  // system's "open" of an .sdl file); empty for none.
  explicit CDownloaderApp(std::string imagePath = {}) : m_strImageArgument(std::move(imagePath)) {}
  // Constructs the main dialog, runs it modally and destroys it (with its
  // engines). Returns 0: there is nothing to run after the dialog.
  int InitInstance();

 private:
  std::string m_strImageArgument;
};

}  // namespace zel
