// boxfeeder.exe: the desktop window. It reads no arguments of its own.
#include "app/DownloaderApp.h"
#include "widgets/SystemHeadersWin32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  zel::CDownloaderApp app;
  return app.InitInstance();
}
