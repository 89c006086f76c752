#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "serial/PortProbe.h"
#include "serial/SerialDevice.h"
#include "sim/PtyLine.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text << "\n";
}

// A sysfs, /dev and /proc of its own: an FTDI adapter held by a terminal
// program, a USB-ACM board, an on-board UART with its hardware and one
// without, and a virtual console.
class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path sys = root / "sys", dev = root / "dev";
    const fs::path usb = sys / "devices/pci0000:00/usb1/1-1";
    Write(usb / "idVendor", "0403");
    Write(usb / "idProduct", "6001");
    Write(usb / "manufacturer", "FTDI");
    Write(usb / "product", "FT232R USB UART");
    Write(usb / "serial", "A50285BI");
    fs::create_directories(usb / "1-1:1.0/ttyUSB0");
    const fs::path acm = sys / "devices/pci0000:00/usb1/1-2";
    Write(acm / "idVendor", "2e8a");
    Write(acm / "idProduct", "000a");
    Write(acm / "manufacturer", "Raspberry Pi");
    Write(acm / "product", "Pico");
    fs::create_directories(acm / "1-2:1.0/tty/ttyACM0");
    fs::create_directories(sys / "devices/platform/serial8250/tty");
    const fs::path tty = sys / "class/tty";
    fs::create_directories(tty / "ttyUSB0");
    fs::create_directory_symlink(usb / "1-1:1.0/ttyUSB0", tty / "ttyUSB0/device");
    Write(usb / "1-1:1.0/ttyUSB0/latency_timer", "16");  // ftdi_sio shows it
    fs::create_directories(tty / "ttyACM0");
    fs::create_directory_symlink(acm / "1-2:1.0", tty / "ttyACM0/device");
    for (const char* uart : {"ttyS0", "ttyS1"}) {
      fs::create_directories(tty / uart);
      fs::create_directory_symlink(sys / "devices/platform/serial8250", tty / uart / "device");
    }
    Write(tty / "ttyS0/type", "4");        // a 16550A
    Write(tty / "ttyS1/type", "0");        // nothing there
    fs::create_directories(tty / "tty1");  // no device: a console
    for (const char* node : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1"}) Write(dev / node, "");
    fs::create_directories(dev / "serial/by-id");
    fs::create_symlink("../../ttyUSB0", dev / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    // The ACM port's adapter has no serial number: its name follows the socket.
    fs::create_directories(dev / "serial/by-path");
    fs::create_symlink("../../ttyACM0", dev / "serial/by-path/pci-0000:00:14.0-usb-0:2:1.0");
    fs::create_symlink("../../ttyACM0", dev / "serial/by-id/usb-Raspberry_Pi_Pico-if00");
    fs::create_symlink("../../ttyUSB0", dev / "serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0");
    fs::create_directories(root / "proc/4711/fd");
    Write(root / "proc/4711/comm", "minicom");
    fs::create_symlink(dev / "ttyUSB0", root / "proc/4711/fd/3");
    sources.sysClassTty = (tty).string();
    sources.devDirectory = dev.string();
    sources.byIdDirectory = (dev / "serial/by-id").string();
    sources.byPathDirectory = (dev / "serial/by-path").string();
    sources.procDirectory = (root / "proc").string();
  }
  void TearDown() override { fs::remove_all(root); }

  const fs::path root = fs::temp_directory_path() / ("boxfeeder-system-" + std::to_string(::getpid()));
  CPortListSources sources;
};

TEST_F(FakeSystem, ListsThePortsWithTheirIdentityAndWhoHoldsThem) {
  const auto ports = ListSerialPorts(sources);
  ASSERT_EQ(ports.size(), 3u) << "no console, no UART without hardware";
  const std::string dev = sources.devDirectory;
  EXPECT_EQ(ports[0].device, dev + "/ttyACM0");
  EXPECT_EQ(ports[0].name, sources.byPathDirectory + "/pci-0000:00:14.0-usb-0:2:1.0")
      << "no serial number: the socket's name, not the shared by-id one";
  EXPECT_EQ(ports[0].vidPid, "2e8a:000a");
  EXPECT_FALSE(ports[0].busy);
  EXPECT_EQ(ports[1].device, dev + "/ttyS0");
  EXPECT_EQ(ports[1].vidPid, "");
  EXPECT_EQ(ports[2].name, sources.byIdDirectory + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  EXPECT_EQ(ports[2].byPath, sources.byPathDirectory + "/pci-0000:00:14.0-usb-0:1:1.0-port0");
  EXPECT_EQ(ports[2].vidPid, "0403:6001");
  EXPECT_EQ(ports[2].manufacturer, "FTDI");
  EXPECT_EQ(ports[2].product, "FT232R USB UART");
  EXPECT_EQ(ports[2].serial, "A50285BI");
  EXPECT_TRUE(ports[2].busy);
  EXPECT_EQ(ports[2].heldBy, "minicom (pid 4711)");
  EXPECT_EQ(FindPortHolder(dev + "/ttyUSB0", sources.procDirectory), "minicom (pid 4711)");
  EXPECT_EQ(ports[2].latencyTimerMs, 16);
  EXPECT_EQ(ports[0].latencyTimerMs, -1) << "a CDC ACM port has no latency timer";
  EXPECT_TRUE(IsProgramRunning("minicom", sources.procDirectory));
  EXPECT_FALSE(IsProgramRunning("brltty", sources.procDirectory));
  // Without the right to open it (root always has it).
  if (::geteuid() != 0) {
    ::chmod((dev + "/ttyS0").c_str(), 0600 & ~S_IRWXU);
    EXPECT_TRUE(ListSerialPorts(sources)[1].permissionDenied);
  }
}

TEST_F(FakeSystem, PortsAsJsonAreOneEventALine) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  cli::CJsonEvents json(out);
  EXPECT_EQ(cli::ListPorts(&json, sources), 0);
  std::rewind(out);
  std::vector<nlohmann::json> events;
  char line[4096];
  while (std::fgets(line, sizeof line, out)) events.push_back(nlohmann::json::parse(line));
  std::fclose(out);
  ASSERT_EQ(events.size(), 3u);
  for (const auto& event : events) EXPECT_EQ(event["event"], "port");
  EXPECT_EQ(events[0]["device"], sources.devDirectory + "/ttyACM0");
  EXPECT_TRUE(events[0]["serial"].is_null());
  EXPECT_EQ(events[2]["name"], sources.byIdDirectory + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
  EXPECT_EQ(events[2]["vidPid"], "0403:6001");
  EXPECT_EQ(events[2]["busy"], true);
  EXPECT_EQ(events[2]["heldBy"], "minicom (pid 4711)");
  EXPECT_EQ(events[2]["latencyTimerMs"], 16);
  EXPECT_TRUE(events[0]["latencyTimerMs"].is_null());
}

TEST_F(FakeSystem, TheWindowOffersTheComPortsThatOpenThenTheOthers) {
  sim::CPtyLine first, held, last;
  const auto holder = CSerialDevice::Create();
  ASSERT_TRUE(holder->Open(held.Port()));
  CProbeSources probe;
  const std::string dev = sources.devDirectory;
  // The kernel's serial ports are never opened to probe them (that raises
  // their modem lines): the listing says which are there and free. The
  // fake ones here would not open at all.
  probe.comNames = {last.Port(), "/dev/does-not-exist", held.Port(),    first.Port(),
                    "/dev/null", dev + "/ttyS0",        dev + "/ttyS1", dev + "/ttyUSB0"};
  probe.list = sources;
  // Each comes with what the listing knows of its adapter, to tell them
  // apart in the list.
  EXPECT_EQ(ProbePorts(probe),
            (std::vector<CPortChoice>{
                {last.Port(), ""},
                {first.Port(), ""},
                {dev + "/ttyS0", ""},
                {sources.byPathDirectory + "/pci-0000:00:14.0-usb-0:2:1.0", "Raspberry Pi Pico"}}))
      << "ttyS1 has no hardware, ttyUSB0 is held by minicom";
  // The probe closes what it opened.
  EXPECT_TRUE(CSerialDevice::Create()->Open(first.Port()));
}

}  // namespace
}  // namespace zel
