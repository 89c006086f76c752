// boxfeed: the command-line front end.
#include <CLI/CLI.hpp>

#include "boot/CommandFileOpen.h"
#include "boot/ZELBootThread.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/TransferSession.h"
#include "link/InterruptWatcher.h"
#include "link/OperatorReport.h"
#include "upgrade/ImageFile.h"
#include "upgrade/ZELUpgradeThread.h"
#if BOXFEEDER_WITH_DEMO
#include "cli/Demo.h"
#endif

using namespace zel;
using namespace zel::cli;

namespace {

struct CUpgradeRequest {
  std::string image;
  std::string port;
  bool trace = false;
  std::string logPath;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"boxfeed: load a software image into a set-top box over a serial cable."};
  app.require_subcommand(1);

  CUpgradeRequest upgrade;
  CLI::App* upgradeCommand =
      app.add_subcommand("upgrade", "Serve IMAGE to the box on PORT until it is loaded");
  upgradeCommand->add_option("IMAGE", upgrade.image, "The image file (*.sdl)")->required();
  upgradeCommand->add_option("-p,--port", upgrade.port, "COM1..COM8 or a device path such as /dev/ttyUSB0")
      ->required();
  upgradeCommand->add_flag("-t,--trace", upgrade.trace, "Also show each request and reply (debug lines)");
  upgradeCommand->add_option("-l,--log", upgrade.logPath, "Save the log to this file (CR LF line ends)");
  // The box's time to take the end to heart; the tests shorten it.
  unsigned endPauseMs = 1000;
  upgradeCommand->add_option("--end-pause-ms", endPauseMs)->group("");

  std::string bootFile, bootPort;
  CLI::App* bootCommand = app.add_subcommand("boot", "Run the boot download of CMDFILE with the box on PORT");
  bootCommand->add_option("CMDFILE", bootFile, "The command file of hexadecimal sections")->required();
  bootCommand->add_option("-p,--port", bootPort, "COM1..COM8 or a device path such as /dev/ttyUSB0")
      ->required();

  CLI::App* portsCommand = app.add_subcommand("ports", "List the serial ports that can be opened");

#if BOXFEEDER_WITH_DEMO
  CDemoOptions demo;
  CLI::App* demoCommand = app.add_subcommand("demo", "Run a whole upgrade against a simulated box");
  demoCommand->add_option("--size", demo.size, "Bytes of the sample image")->check(CLI::Range(0u, 64u << 20));
  demoCommand->add_option("--chunk", demo.chunk, "Bytes the box asks for per request")
      ->check(CLI::Range(1u, 65535u));
  demoCommand->add_option("--baud", demo.baud, "Speed of the simulated line (0: as fast as the pty goes)");
  demoCommand->add_flag("-t,--trace", demo.trace, "Also show each request and reply");
#endif

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kExitUsage;
  }

  CUiLoop loop;
  CConsole console;
  SetOperatorReporter(&console);
  CTransferSession* active = nullptr;
  // Ctrl-C is the Cancel button: the transfer stops and ends as cancelled.
  CInterruptWatcher interrupts([&] {
    loop.Post([&] {
      if (active) active->Cancel();
    });
  });
  CZELUpgradeThread upgradeEngine;
  upgradeEngine.SetPauseBeforeSuccess(std::chrono::milliseconds(endPauseMs));
  upgradeEngine.SetDiagnosticOutput([&](const char* text) { console.PrintRaw(text); });
  CZELBootThread bootEngine;
  CTransferSession upgradeSession(loop, console, upgradeEngine);
  CTransferSession bootSession(loop, console, bootEngine);

  int status = kExitUsage;
  if (*upgradeCommand) {
    // The image must open before any port is touched; its length sets the
    // progress range.
    CImageFile image;
    if (!image.Open(upgrade.image)) {
      console.ShowMessage("Can not Open the File: " + upgrade.image);
      console.ShowMessage(DescribeCause(image.Failure()));
      status = kExitFailed;
    } else {
      CSessionOptions options;
      options.trace = upgrade.trace;
      options.logPath = upgrade.logPath;
      options.progressTotal = image.Size();
      options.cableWarning = true;
      image.Close();
      active = &upgradeSession;
      status = upgradeSession.Run(upgrade.port, upgrade.image, options);
    }
  } else if (*bootCommand) {
    // The command file must open as the engine will open it before the
    // operator is asked to switch the box on.
    CFailureCause cause;
    if (!OpenCommandFile(bootFile, &cause)) {
      console.ShowMessage("Can not Open the Command File: " + bootFile);
      console.ShowMessage(DescribeCause(cause));
      status = kExitFailed;
    } else {
      active = &bootSession;
      status = bootSession.Run(bootPort, bootFile, {});
    }
  } else if (*portsCommand) {
    status = ListPorts();
  }
#if BOXFEEDER_WITH_DEMO
  else if (*demoCommand) {
    active = &upgradeSession;
    status = RunDemo(upgradeSession, demo);
  }
#endif
  active = nullptr;
  SetOperatorReporter(nullptr);
  return status;
}
