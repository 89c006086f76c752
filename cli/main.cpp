// boxfeed: the command-line front end.
#include <CLI/CLI.hpp>

#include "cli/BootSession.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/SignalWatcher.h"
#include "cli/UpgradeSession.h"
#include "link/OperatorReport.h"

using namespace zel::cli;

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

  std::string bootFile, bootPort;
  CLI::App* bootCommand = app.add_subcommand("boot", "Run the boot download of CMDFILE with the box on PORT");
  bootCommand->add_option("CMDFILE", bootFile, "The command file of hexadecimal sections")->required();
  bootCommand->add_option("-p,--port", bootPort, "COM1..COM8 or a device path such as /dev/ttyUSB0")
      ->required();

  CLI::App* portsCommand = app.add_subcommand("ports", "List the serial ports that can be opened");

  CDemoOptions demo;
  CLI::App* demoCommand = app.add_subcommand("demo", "Run a whole upgrade against a simulated box");
  demoCommand->add_option("--size", demo.size, "Bytes of the sample image")->check(CLI::Range(0u, 64u << 20));
  demoCommand->add_option("--chunk", demo.chunk, "Bytes the box asks for per request")
      ->check(CLI::Range(1u, 65535u));
  demoCommand->add_option("--baud", demo.baud, "Speed of the simulated line (0: as fast as the pty goes)");
  demoCommand->add_flag("-t,--trace", demo.trace, "Also show each request and reply");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kExitUsage;
  }

  zel::CUiLoop loop;
  CConsole console;
  zel::SetOperatorReporter(&console);
  CUpgradeSession session(loop, console);
  CBootSession boot(loop, console);
  // Ctrl-C is the Cancel button: the transfer stops and ends as cancelled.
  CSignalWatcher interrupts([&] {
    loop.Post([&] {
      session.Cancel();
      boot.Cancel();
    });
  });

  int status = kExitUsage;
  if (*upgradeCommand)
    status = session.Run(upgrade);
  else if (*bootCommand)
    status = boot.Run(bootFile, bootPort);
  else if (*portsCommand)
    status = ListPorts();
  else if (*demoCommand)
    status = RunDemo(session, demo);
  zel::SetOperatorReporter(nullptr);
  return status;
}
