// boxfeeder.exe: the desktop window; an image given as its argument (the
// system's "open" of an .sdl file) is taken as if browsed to.
#include <string>

#include "app/DownloaderApp.h"
#include "widgets/SystemHeadersWin32.h"
// clang-format off
#include <shellapi.h>
// clang-format on

namespace {

// The program's first argument, as UTF-8 like every path in the program.
std::string ImageArgument() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string image;
  if (arguments && count > 1) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, arguments[1], -1, nullptr, 0, nullptr, nullptr);
    if (size > 1) {
      image.resize(static_cast<size_t>(size));
      WideCharToMultiByte(CP_UTF8, 0, arguments[1], -1, image.data(), size, nullptr, nullptr);
      image.resize(static_cast<size_t>(size - 1));
    }
  }
  if (arguments) LocalFree(arguments);
  return image;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  zel::CDownloaderApp app(ImageArgument());
  return app.InitInstance();
}
