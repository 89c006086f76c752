// boxfeeder.exe: the desktop window; an image given as its argument (the
// system's "open" of an .sdl file) is taken as if browsed to. With
// --station it is the station window instead (station/StationArguments.h).
#include <string>
#include <vector>

#include "app/DownloaderApp.h"
#include "app/win32/StationWindowWin32.h"
#include "app/win32/Utf16.h"
#include "engines/EngineKinds.h"
#include "station/StationArguments.h"
#include "widgets/SystemHeadersWin32.h"
// clang-format off
#include <shellapi.h>
// clang-format on

namespace {

// The program's arguments after its name, as UTF-8 like every path in the program.
std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 1; arguments && i < count; ++i) {
    std::string text;
    const int size = WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, nullptr, 0, nullptr, nullptr);
    if (size > 1) {
      text.resize(static_cast<size_t>(size));
      WideCharToMultiByte(CP_UTF8, 0, arguments[i], -1, text.data(), size, nullptr, nullptr);
      text.resize(static_cast<size_t>(size - 1));
    }
    utf8.push_back(text);
  }
  if (arguments) LocalFree(arguments);
  return utf8;
}

// Where a program without a console of its own prints: to its standard
// output where that was redirected, else to the console it was started
// from, else in a message box.
void Print(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_CHAR &&
      WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
    return;
  const std::wstring wide = zel::Wide(text);
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      CloseHandle(console);
      FreeConsole();
      return;
    }
    FreeConsole();
  }
  MessageBoxW(nullptr, wide.c_str(), L"BoxFeeder", MB_OK | MB_ICONINFORMATION);
}

int RunStation(const std::vector<std::string>& arguments) {
  std::string refusal;
  const auto request = zel::ParseStationArguments(arguments, refusal);
  if (!request) {
    MessageBoxA(nullptr, refusal.c_str(), "BoxFeeder station", MB_OK | MB_ICONERROR);
    return 64;
  }
  zel::CWin32StationWindow window(request->setup, zel::UpgradeKind());
  if (request->start) window.Board().StartAll();
  return window.Run();
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::vector<std::string> arguments = Arguments();
  if (const std::string information = zel::WindowInformation(arguments); !information.empty()) {
    Print(information);
    return 0;
  }
  if (zel::AsksForStation(arguments)) return RunStation(arguments);
  zel::CDownloaderApp app(arguments.empty() ? std::string() : arguments[0]);
  return app.InitInstance();
}
