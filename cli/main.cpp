// boxfeed: the command-line front end.
#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/HelpLayout.h"
#include "cli/JsonEvents.h"
#include "cli/ResultsCommand.h"
#include "cli/Terminal.h"
#include "interrupt/InterruptWatcher.h"
#include "run/Platform.h"
#if BOXFEEDER_WITH_DEMO
#include "cli/Demo.h"
#endif

using namespace zel;
using namespace zel::cli;

namespace {

const char* const kExitCodes =
    "Exit status:\n"
    "  0   every box was loaded (ports: listed)\n"
    "  1   a transfer failed, or an input was refused\n"
    "  2   cancelled (Ctrl-C, kill, or the terminal closed)\n"
    "  64  bad usage";

// Each command's own closing words: its exit status.
std::string CommandFooter(const char* status) { return std::string("Exit status:\n") + status; }

// The program's own options, which may come before the command.
bool IsProgramOption(const std::string& argument) {
  for (const char* known : {"-q", "--quiet", "--json", "-h", "--help", "--version"})
    if (argument == known) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  zel::ReserveStandardStreams();
  // Named, not called by its path: a path as long as an install folder's
  // would stretch the usage line past the console's width.
  CLI::App app{"boxfeed: load a software image into a set-top box over a serial cable.", "boxfeed"};
  app.require_subcommand(1);
  app.allow_windows_style_options(false);  // "/dev/ttyUSB0" and "/tmp/x.sdl" are paths
  app.set_version_flag("--version", "boxfeed " BOXFEEDER_VERSION);
  app.footer(kExitCodes);
  app.option_defaults()->always_capture_default();
  const int columns = TerminalColumns(stdout);
  app.formatter(std::make_shared<CHelpLayout>(columns > 0 ? static_cast<size_t>(columns) : 80));
  bool quiet = false, jsonOutput = false;
  // -q and --json stand before the command or after it, and each command's
  // help lists them.
  const auto addOutputOptions = [&](CLI::App* command) {
    command->add_flag("-q,--quiet", quiet, "Print only each run's summary and errors");
    command->add_flag("--json", jsonOutput, "Print JSON events, one per line, in place of the text");
  };
  addOutputOptions(&app);

  CUpgradeCommand upgrade;
  CLI::App* upgradeCommand =
      app.add_subcommand("upgrade", "Serve IMAGE to the box on each PORT until it is loaded");
  addOutputOptions(upgradeCommand);
  upgradeCommand->add_option("IMAGE", upgrade.image, "The image file (*.sdl)")->required();
  upgradeCommand
      ->add_option("-p,--port", upgrade.ports,
                   "COM1..COM8 or a device path such as /dev/ttyUSB0, or NAME=PATH to name it; repeat it "
                   "to load several boxes at once")
      ->required();
  upgradeCommand->add_flag("-t,--trace", upgrade.trace, "Also show each request and reply (debug lines)");
  upgradeCommand->add_option("-l,--log", upgrade.logPath,
                             "Also write the log to this file (time stamps, CR LF line ends); with several "
                             "ports, one file each, named after the port");
  upgradeCommand->add_option("--results", upgrade.resultsPath,
                             "Append one JSON line per box to this file as it ends (port, adapter, image "
                             "and its SHA-256, bytes, outcome, cause); several processes may share it. Or "
                             "odbc:CONNECTION to store them in the line's database, by way of a local spool "
                             "(odbc:DSN=line; the password from the DSN or BOXFEEDER_DB_PASSWORD)");
  upgradeCommand->add_flag("--require-store", upgrade.requireStore,
                           "Refuse to start when the --results database cannot be reached now (by default "
                           "records wait in the spool until it can)");
  upgradeCommand->add_flag("--continuous", upgrade.continuous,
                           "Serve box after box on each port, each with its own record, until Ctrl-C; "
                           "then print each port's counts");
  upgradeCommand->add_option("--station-name", upgrade.stationName,
                             "The station's name in the records (default: this computer's name)");
  // The box's time to take the end to heart; the tests shorten it.
  upgradeCommand->add_flag("--require-whole-image", upgrade.requireWholeImage,
                           "Fail a box that ends before it has asked for every byte of the image");
  upgradeCommand->add_option("--end-pause-ms", upgrade.endPauseMs)->group("");
  upgradeCommand->footer(
      CommandFooter("  0   every box was loaded\n"
                    "  1   a box failed, a record was lost, or an input was refused\n"
                    "  2   cancelled (Ctrl-C, kill, or the terminal closed)\n"
                    "  64  bad usage"));

  CBootCommand boot;
  CLI::App* bootCommand = app.add_subcommand("boot", "Run the boot download of CMDFILE with the box on PORT");
  addOutputOptions(bootCommand);
  bootCommand->add_option("CMDFILE", boot.commandFile, "The command file of hexadecimal sections")
      ->required();
  bootCommand->add_option("-p,--port", boot.port, "COM1..COM8 or a device path such as /dev/ttyUSB0")
      ->required();
  bootCommand->add_option("-l,--log", boot.logPath,
                          "Also write the log to this file (time stamps, CR LF line ends)");
  bootCommand->footer(
      CommandFooter("  0   the boot download ended with Flash Boot OK\n"
                    "  1   it failed, or the command file or log was refused\n"
                    "  2   cancelled (Ctrl-C, kill, or the terminal closed)\n"
                    "  64  bad usage"));

  CLI::App* portsCommand = app.add_subcommand("ports", "List the serial ports present, without opening any");
  addOutputOptions(portsCommand);
  portsCommand->footer(
      CommandFooter("  0   listed (none present is no failure)\n"
                    "  64  bad usage"));

  CResultsCommand results;
  CLI::App* resultsCommand = app.add_subcommand(
      "results", "Count the boxes loaded and failed, and the yield, in results files (one per station)");
  addOutputOptions(resultsCommand);
  resultsCommand->add_option("FILE", results.files, "Results files written by --results")->required();
  resultsCommand->add_option("--since", results.since,
                             "Only boxes started on or after this UTC date or time");
  resultsCommand->add_option("--by", results.by, "Group by day, image (its SHA-256), station, port or cause");
  resultsCommand->add_flag("--csv", results.csv, "Print CSV, for a spreadsheet");
  resultsCommand->footer(
      CommandFooter("  0   printed\n"
                    "  1   a file or database could not be read\n"
                    "  64  bad usage"));

#if BOXFEEDER_WITH_DEMO
  CDemoOptions demo;
  CLI::App* demoCommand = app.add_subcommand("demo", "Run a whole upgrade against a simulated box");
  addOutputOptions(demoCommand);
  demoCommand->add_option("--size", demo.size, "Bytes of the sample image")->check(CLI::Range(1u, 64u << 20));
  demoCommand->add_option("--chunk", demo.chunk, "Bytes the box asks for per request")
      ->check(CLI::Range(1u, 65535u));
  demoCommand->add_option("--baud", demo.baud, "Speed of the simulated line (0: as fast as the pty goes)");
  demoCommand->add_flag("-t,--trace", demo.trace, "Also show each request and reply");
  demoCommand->footer(
      CommandFooter("  0   the simulated box was loaded and its image verified\n"
                    "  1   it was not\n"
                    "  2   cancelled (Ctrl-C)\n"
                    "  64  bad usage"));
#endif

  // A word where a command belongs that is none, or an option the program
  // does not take before it: say which.
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-' && !IsProgramOption(argv[i])) {
      std::fprintf(stderr, "boxfeed: unknown option '%s' before the command (boxfeed --help)\n", argv[i]);
      return kExitUsage;
    }
    if (argv[i][0] == '-') continue;
    const auto commands = app.get_subcommands([](const CLI::App*) { return true; });
    const bool known = std::any_of(commands.begin(), commands.end(),
                                   [&](const CLI::App* command) { return command->get_name() == argv[i]; });
    if (!known) {
      std::fprintf(stderr,
                   "boxfeed: '%s' is not a command; the commands are upgrade, boot, ports, results%s "
                   "(boxfeed --help)\n",
                   argv[i], BOXFEEDER_WITH_DEMO ? " and demo" : "");
      return kExitUsage;
    }
    break;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kExitUsage;
  }

  PrepareOutput();
  CUiLoop loop;
  CConsole console(stdout, stderr, quiet, jsonOutput);
  CJsonEvents json;
  CJsonEvents* events = jsonOutput ? &json : nullptr;
  CActiveStations active;
  // Ctrl-C is the Cancel button: every transfer stops and ends as cancelled.
  CInterruptWatcher interrupts([&] {
    loop.Post([&] {
      for (CStation* station : active) station->StopAll();
    });
  });

  int status = kExitUsage;
  if (*upgradeCommand) {
    status = RunUpgrade(loop, console, events, upgrade, active);
  } else if (*bootCommand) {
    status = RunBoot(loop, console, events, boot, active);
  } else if (*portsCommand) {
    status = ListPorts(events);
  } else if (*resultsCommand) {
    results.json = jsonOutput;
    status = ShowResults(results);
  }
#if BOXFEEDER_WITH_DEMO
  else if (*demoCommand) {
    status = RunDemo(loop, console, events, active, demo);
  }
#endif
  return status;
}
