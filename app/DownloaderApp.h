// The application object: runs the main dialog modally; the program ends
// with it.
#pragma once

namespace zel {

class CDownloaderApp {
 public:
  // Constructs the main dialog, runs it modally and destroys it (with its
  // engines). Returns 0: there is nothing to run after the dialog.
  int InitInstance();
};

}  // namespace zel
