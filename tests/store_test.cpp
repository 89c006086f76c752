// The line's database: records through the spool into a PostgreSQL server
// that the tests start themselves (tests/db/pg-server.sh), reached through
// unixODBC and the PostgreSQL driver, as a station reaches its line's.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "sim/BoxOnThread.h"
#include "sim/SampleImage.h"
#include "station/ResultsFile.h"
#include "store/OdbcConnection.h"
#include "store/ResultsStore.h"
#include "store/SpoolFile.h"
#include "tests/ChildProcess.h"
#include "tests/TempFile.h"
#include "tests/Text.h"

namespace zel {
namespace {

using test::CChildProcess;
using test::ReadFile;

// The test server's folder, as pg-server.sh made it.
std::string ServerFolder() {
  const char* folder = std::getenv("BOXFEEDER_TEST_PG");
  return folder ? folder : "";
}

std::string Trimmed(const std::string& text) { return text.substr(0, text.find_last_not_of("\n") + 1); }

std::string Address(const std::string& password = "") {
  return "odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" +
         Trimmed(ReadFile(ServerFolder() + "/port")) + ";Database=line;Uid=boxfeeder;Pwd=" +
         (password.empty() ? Trimmed(ReadFile(ServerFolder() + "/password")) : password);
}

void Server(const char* command) {
  ASSERT_EQ(std::system((std::string(PG_SERVER) + " " + command + " " + ServerFolder()).c_str()), 0)
      << command;
}

// The rows of a query, read through ODBC as a report would.
std::vector<std::vector<std::string>> Query(const std::string& sql) {
  CStoreAddress address;
  std::string error;
  COdbcConnection database;
  std::vector<std::vector<std::string>> rows;
  EXPECT_TRUE(ParseStoreAddress(Address(), address, error) &&
              database.Connect(address.connection, 5, error) && database.Query(sql, rows, error))
      << error;
  return rows;
}

size_t Count(const std::string& where) {
  const auto rows = Query("SELECT COUNT(*), COUNT(DISTINCT run_id) FROM boxfeeder_records WHERE " + where);
  EXPECT_EQ(rows.at(0).at(0), rows.at(0).at(1)) << "a record stored twice";
  return std::stoul(rows.at(0).at(0));
}

// A record of the station, with a name that needs quoting and one in
// Cyrillic.
std::string Record(const std::string& station, int n) {
  CBoxRecord record;
  record.runId = NewRunId();
  record.started = record.ended = UtcTimestamp();
  record.origin = {"host", station, "1.0"};
  record.port = "/dev/ttyUSB" + std::to_string(n);
  record.alias = "O'Brien's bench";
  record.imagePath = "/srv/образы/new-image.sdl";
  record.outcome = n % 5 == 4 ? RunOutcome::Failed : RunOutcome::Succeeded;
  return RecordLine(record);
}

class Store : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ServerFolder().empty()) GTEST_SKIP() << "BOXFEEDER_TEST_PG names no test server";
    ASSERT_TRUE(ParseStoreAddress(Address(), address, error)) << error;
    std::filesystem::create_directories(spool);
    ::setenv("XDG_DATA_HOME", spool.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(spool); }
  // Unique to the run: the server may hold an earlier run's records.
  std::string station = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                        std::to_string(::getpid());
  std::string spool =
      std::filesystem::temp_directory_path() / ("boxfeeder-spool-" + std::to_string(::getpid()));
  CStoreAddress address;
  std::string error;
};

// The address: a string that is no connection string is refused with its
// fault; the password is never shown, and may come from the environment;
// one database and user, one spool.
TEST(StoreAddressTest, IsReadAsODBCReadsIt) {
  const struct {
    const char* results;
    const char* refusal;  // empty: taken
  } kCases[] = {
      {"odbc:DSN=line", ""},
      {"ODBC:Driver={PostgreSQL Unicode};Server=db;Pwd={a;b}}c}", ""},
      {"odbc:Server=db;Database=line", "names no DSN and no Driver"},
      {"odbc:Driver={PostgreSQL Unicode;Server=db", "opens a brace that never closes"},
      {"odbc:DSN=line;garbage", "\"garbage\" is no key=value pair"},
      {"odbc:", "names no DSN"},
  };
  for (const auto& c : kCases) {
    CStoreAddress address;
    std::string refusal;
    EXPECT_EQ(ParseStoreAddress(c.results, address, refusal), *c.refusal == '\0') << c.results;
    EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.results << ": " << refusal;
  }
  CStoreAddress braced, fromEnvironment, other;
  std::string refusal;
  ASSERT_TRUE(ParseStoreAddress("odbc:Driver={PostgreSQL Unicode};Server=db;Pwd={a;b}}c}", braced, refusal));
  EXPECT_EQ(braced.shown, "odbc:Driver={PostgreSQL Unicode};Server=db;PWD=***");
  EXPECT_EQ(HidePassword("failed for a;b}c here", braced), "failed for *** here");
  ::setenv(kStorePasswordVariable, "from-env", 1);
  ASSERT_TRUE(ParseStoreAddress("odbc:Driver={PostgreSQL Unicode};Server=db", fromEnvironment, refusal));
  ::unsetenv(kStorePasswordVariable);
  EXPECT_NE(fromEnvironment.connection.find("PWD={from-env}"), std::string::npos);
  EXPECT_EQ(fromEnvironment.shown.find("from-env"), std::string::npos);
  EXPECT_EQ(fromEnvironment.spoolName, braced.spoolName) << "the password is not the database";
  ASSERT_TRUE(ParseStoreAddress("odbc:Driver={PostgreSQL Unicode};Server=db;Database=Line", other, refusal));
  EXPECT_NE(other.spoolName, braced.spoolName);
}

// Records reach the database once each, whole, names quoted as they are;
// one sent twice is stored once; the database gives them back as the
// results file would hold them, for boxfeed results.
TEST_F(Store, RecordsReachTheDatabaseOnceEachAndComeBackWhole) {
  CResultsStore store(address, spool);
  ASSERT_TRUE(store.Start(error)) << error;
  std::vector<std::string> written;
  for (int i = 0; i < 20; ++i) written.push_back(Record(station, i));
  for (const std::string& line : written) ASSERT_TRUE(store.Write(line, error)) << error;
  ASSERT_TRUE(store.Write(written[3], error));
  EXPECT_EQ(StoreStateText(store.Drain(std::chrono::seconds(30))), "stored");
  EXPECT_EQ(Count("station = '" + station + "'"), 20u);
  EXPECT_EQ(Query("SELECT alias, image FROM boxfeeder_records WHERE station = '" + station + "' LIMIT 1")[0],
            (std::vector<std::string>{"O'Brien's bench", "/srv/образы/new-image.sdl"}));
  EXPECT_EQ(ReadFile(store.SpoolPath()), "");
  std::vector<std::string> stored;
  ASSERT_TRUE(ReadStoredRecords(address, "", stored, error)) << error;
  std::set<std::string> back(stored.begin(), stored.end());
  for (const std::string& line : written) EXPECT_TRUE(back.count(Trimmed(line))) << line;

  CChildProcess report({BOXFEED_PATH, "results", Address(), "--by", "station", "--json"});
  ASSERT_EQ(report.Wait(), 0) << report.Stderr();
  const auto json = nlohmann::json::parse(report.Stdout());
  bool found = false;
  for (const auto& group : json["groups"])
    if (group["key"] == station) {
      found = true;
      EXPECT_EQ(group["loaded"], 16);
      EXPECT_EQ(group["failed"], 4);
    }
  EXPECT_TRUE(found) << report.Stdout();
}

// The server goes down mid-shift: records wait in the spool, the state
// says so, and once it is back they are stored, in order, none twice.
TEST_F(Store, RecordsWaitWhileTheServerIsDownAndGoOnceItIsBack) {
  CResultsStore store(address, spool);
  ASSERT_TRUE(store.Start(error)) << error;
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(store.Write(Record(station, i), error));
  EXPECT_EQ(StoreStateText(store.Drain(std::chrono::seconds(30))), "stored");
  Server("pause");
  for (int i = 5; i < 12; ++i) ASSERT_TRUE(store.Write(Record(station, i), error));
  const CStoreState down = store.Drain(std::chrono::seconds(30));
  EXPECT_EQ(down.waiting, 7u);
  EXPECT_TRUE(StoreStateText(down).starts_with("7 records waiting: the database")) << StoreStateText(down);
  Server("resume");
  CStoreState back = store.Drain(std::chrono::seconds(30));
  for (int tries = 0; back.waiting > 0 && tries < 10; ++tries) back = store.Drain(std::chrono::seconds(5));
  EXPECT_EQ(StoreStateText(back), "stored");
  EXPECT_EQ(Count("station = '" + station + "'"), 12u);
  const auto order =
      Query("SELECT port FROM boxfeeder_records WHERE station = '" + station + "' ORDER BY started, port");
  EXPECT_EQ(order.size(), 12u);
}

// A station killed between the spool and the send: its records go with
// the next start. A record torn in the crash is kept aside, and the one
// written after it is not lost with it.
TEST_F(Store, ASpoolLeftByAKilledStationIsSentOnTheNextStart) {
  const std::string first = Record(station, 1), second = Record(station, 2);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    CResultsStore killed(address, spool);  // never started: nothing is sent
    std::string ignored;
    if (killed.Write(first, ignored)) AppendSynced(killed.SpoolPath(), first.substr(0, 40), ignored);
    if (killed.Write(second, ignored)) ::raise(SIGKILL);
    ::_exit(1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the station died before any send";
  EXPECT_EQ(Count("station = '" + station + "'"), 0u);
  CResultsStore next(address, spool);
  ASSERT_TRUE(next.Start(error)) << error;
  EXPECT_EQ(StoreStateText(next.Drain(std::chrono::seconds(30))), "stored");
  EXPECT_EQ(Count("station = '" + station + "'"), 2u);
  EXPECT_EQ(ReadFile(next.SpoolPath() + ".unreadable"), first.substr(0, 40) + "\n");
}

// boxfeed says what is wrong with its database before any port opens: a
// string that is none, a driver that is not there, a wrong password; with
// --require-store it refuses, else it goes on and keeps the records in
// the spool.
TEST_F(Store, BoxfeedSaysWhyItsDatabaseCannotBeUsedBeforeAnyPort) {
  const struct {
    std::string results;
    const char* cause;
    bool refusedAnyway;  // not even the spool can be used
  } kCases[] = {
      {"odbc:Server=127.0.0.1", "names no DSN and no Driver", true},
      {"odbc:Driver={No Such Driver};Server=127.0.0.1", "No Such Driver", false},
      {Address("wrong-password"), "password authentication failed", false},
  };
  for (const auto& c : kCases) {
    for (const bool require : {true, false}) {
      std::vector<std::string> args{BOXFEED_PATH,        "upgrade",   BOXFEED_PATH, "-p",
                                    "/dev/no-such-port", "--results", c.results};
      if (require) args.push_back("--require-store");
      CChildProcess feed(args);
      EXPECT_EQ(feed.Wait(), 1) << c.results;
      const std::string said = feed.Stderr() + feed.Stdout();
      EXPECT_NE(said.find(c.cause), std::string::npos) << said;
      EXPECT_EQ(said.find("wrong-password"), std::string::npos) << "the password is never shown";
      const bool portTried = said.find("no-such-port") != std::string::npos;
      EXPECT_EQ(portTried, !require && !c.refusedAnyway) << said;
      if (portTried) {
        EXPECT_LT(said.find(c.cause), said.find("no-such-port")) << said;
      }
    }
  }
}

// Eight boxfeed processes of a line and a station window, 50 boxes each,
// storing at once: every box's record stored exactly once; the window
// says so before SIGTERM closes it.
TEST_F(Store, EightStationsAndAWindowOfFiftyBoxesEachStoreEveryRecordOnce) {
  constexpr int kStations = 8, kBoxes = 50;
  const auto image = sim::SampleImage(2000);
  test::CTempFile file(image, ".sdl");
  sim::CBoxPlan plan;
  plan.chunk = 1000;
  std::vector<std::unique_ptr<sim::CBoxOnThread>> boxes;
  std::vector<std::unique_ptr<CChildProcess>> feeds;
  for (int s = 0; s < kStations; ++s) {
    boxes.push_back(std::make_unique<sim::CBoxOnThread>(image, std::vector<sim::CBoxPlan>(kBoxes, plan)));
    feeds.push_back(std::make_unique<CChildProcess>(std::vector<std::string>{
        BOXFEED_PATH, "upgrade", file.Path(), "-q", "-p", boxes.back()->box.Port(), "--continuous",
        "--end-pause-ms", "0", "--station-name", station + std::to_string(s), "--results", Address()}));
  }
  boxes.push_back(std::make_unique<sim::CBoxOnThread>(image, std::vector<sim::CBoxPlan>(kBoxes, plan)));
  CChildProcess window(
      {BOXFEEDER_PATH, "--station", file.Path(), "--port", boxes.back()->box.Port(), "--start",
       "--end-pause-ms", "0", "--station-name", station + "-window", "--results", Address()},
      -1, {"QT_QPA_PLATFORM=offscreen"});
  boxes.back()->Join();
  // Between two boxes or waiting for the next: every box loaded either way.
  window.Signal(SIGTERM);
  const int code = window.Wait();
  EXPECT_TRUE(code == 0 || code == 2) << code << window.Stderr();
  for (int s = 0; s < kStations; ++s) {
    boxes[s]->Join();
    feeds[s]->Signal(SIGINT);
    EXPECT_EQ(feeds[s]->Wait(), 0) << feeds[s]->Stderr();
    EXPECT_NE(feeds[s]->Stdout().find("Records: stored"), std::string::npos) << feeds[s]->Stdout();
  }
  EXPECT_EQ(Count("station LIKE '" + station + "%' AND outcome = 'succeeded'"),
            size_t{(kStations + 1) * kBoxes});
  EXPECT_EQ(Count("station LIKE '" + station + "%'"), size_t{(kStations + 1) * kBoxes});
}

}  // namespace
}  // namespace zel
