// The line's database, measured against a PostgreSQL server of the bench's
// own (tests/db/pg-server.sh): how many records a second one station
// stores, beside appending them to a results file, and the time from a
// box's end (its record written) to its row in the database.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "station/ResultsFile.h"
#include "store/OdbcConnection.h"
#include "store/ResultsStore.h"

namespace {

using namespace zel;
using Clock = std::chrono::steady_clock;

std::string FirstLine(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return line;
}

std::string Record(int n) {
  CBoxRecord record;
  record.runId = NewRunId();
  record.started = record.ended = UtcTimestamp();
  record.origin = {"bench", "bench", "1.0"};
  record.port = "/dev/ttyUSB" + std::to_string(n % 32);
  record.imagePath = "/srv/images/new-image.sdl";
  record.imageSize = 4 << 20;
  record.imageSha256 = std::string(64, 'a');
  record.outcome = RunOutcome::Succeeded;
  return RecordLine(record);
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 2) {
    std::fprintf(stderr, "usage: store_bench PG-SERVER.SH\n");
    return 64;
  }
  const std::string script = argv[1];
  const std::string folder = std::filesystem::temp_directory_path() / "boxfeeder-store-bench";
  if (std::system((script + " start " + folder).c_str()) != 0) return 1;
  const std::string spool = folder + "-spool";
  std::filesystem::create_directories(spool);
  CStoreAddress address;
  std::string error;
  ParseStoreAddress("odbc:Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + FirstLine(folder + "/port") +
                        ";Database=line;Uid=boxfeeder;Pwd=" + FirstLine(folder + "/password"),
                    address, error);
  int status = 0;
  {
    CResultsStore store(address, spool);
    if (!store.Start(error)) {
      std::fprintf(stderr, "store_bench: %s\n", error.c_str());
      status = 1;
    } else {
      constexpr int kRecords = 2000;
      std::vector<std::string> records;
      for (int i = 0; i < kRecords; ++i) records.push_back(Record(i));
      // A results file, each record flushed to the disk as the store's
      // spool flushes it.
      const std::string file = spool + "/results.jsonl";
      auto began = Clock::now();
      for (const std::string& line : records) AppendLine(file, line, error);
      const double fileSeconds = Seconds(began);
      began = Clock::now();
      for (const std::string& line : records) store.Write(line, error);
      const double spooled = Seconds(began);
      CStoreState state = store.Drain(std::chrono::seconds(120));
      const double stored = Seconds(began);
      std::printf(
          "Records: %d; results file %.0f a second; database %.0f a second (%s), of which the spool takes "
          "%.0f a second; the database at %.2f of the file's pace\n",
          kRecords, kRecords / fileSeconds, kRecords / stored, StoreStateText(state).c_str(),
          kRecords / spooled, fileSeconds / stored);
      // From a box's end to its row: the record written, then the row
      // looked for until it is there.
      COdbcConnection reader;
      reader.Connect(address.connection, 5, error);
      std::vector<double> latencies;
      for (int i = 0; i < 50; ++i) {
        const std::string line = Record(i);
        const std::string runId = line.substr(line.find("\"runId\":\"") + 9, 36);
        const auto written = Clock::now();
        store.Write(line, error);
        std::vector<std::vector<std::string>> rows;
        while (
            Seconds(written) < 10 &&
            (!reader.Query("SELECT 1 FROM boxfeeder_records WHERE run_id = '" + runId + "'", rows, error) ||
             rows.empty())) {
        }
        latencies.push_back(Seconds(written) * 1000);
      }
      std::sort(latencies.begin(), latencies.end());
      std::printf("From a box's end to its row: median %.1f ms, worst %.1f ms of 50 (aim: under 1000 ms)\n",
                  latencies[latencies.size() / 2], latencies.back());
    }
  }
  std::system((script + " stop " + folder).c_str());
  std::filesystem::remove_all(spool);
  return status;
}
