// The download engine of the Windows build against the reader simulator, driven as the
// command-line program and the update view drive it: Begin Update asks the reader and makes the
// job, the worker runs on its own thread and reports through a queue target, and the run's
// completion decides on a new attempt. tools/wine/wine-tests.sh starts the simulators, which
// write what they received as Intel HEX (--hex-out) into one folder as port<n>.hex (not
// com<n>.hex: Windows takes that name for the port itself).
//   FLASHWRIGHT_WINE_UPDATE_COM   a reader in normal mode
//   FLASHWRIGHT_WINE_RECOVER_COM  a reader waiting in download mode for a recover run
//   FLASHWRIGHT_WINE_HANGUP_COM   a reader whose line hangs up in the middle of a download
//   FLASHWRIGHT_WINE_FIRMWARE     the firmware folder, FLASHWRIGHT_WINE_IMAGE the image in it
//   FLASHWRIGHT_WINE_RECEIVED     the folder of the simulators' port<n>.hex files
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posted_messages.h"
#include "reader_link/transport.h"
#include "reader_update/begin_update.h"
#include "reader_update/download_engine.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/firmware_source.h"
#include "reader_update/update_run.h"

namespace flashwright {
namespace {

using namespace std::chrono_literals;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

int PortFromEnvironment(const char* name) { return std::atoi(Environment(name).c_str()); }

struct Record {
  std::uint8_t count;
  std::uint16_t address;
  std::uint8_t type;
  std::vector<std::uint8_t> data;
  bool operator==(const Record&) const = default;
};

void PrintTo(const Record& record, std::ostream* out) {
  *out << "{count " << int{record.count} << ", address " << record.address << ", type "
       << int{record.type} << "}";
}

// The records of an Intel HEX file up to its end-of-file record; empty when it cannot be read.
std::vector<Record> RecordsOf(const std::string& path) {
  std::vector<Record> records;
  ImageFile file;
  if (const int opened = file.Open(path.c_str()); opened != 0) {
    ADD_FAILURE() << "cannot open " << path << ": error " << opened;
    return records;
  }
  std::unique_ptr<FirmwareSource> source;
  if (const LinkError read = FirmwareSource::Create(file.Size(), &file, ReadImageFile, nullptr,
                                                    &source);
      read != 0) {
    ADD_FAILURE() << "cannot read " << path << ": error " << read;
    return records;
  }
  FirmwareRecord record;
  while (source->ReadRecord(&record) == 0) {
    records.push_back({record.count, record.address, record.type,
                       std::vector<std::uint8_t>(record.data.begin(),
                                                 record.data.begin() + record.count)});
    if (record.type == kRecordEndOfFile) break;
  }
  return records;
}

struct Note {
  bool verify;
  ProgressNote note;
};

// What a front end saw of one run.
struct RunSeen {
  std::unique_ptr<UpdateJob> job;
  std::vector<Note> notes;
  int completions = 0;
};

class WineUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = Environment("FLASHWRIGHT_WINE_FIRMWARE");
    image_ = Environment("FLASHWRIGHT_WINE_IMAGE");
    received_ = Environment("FLASHWRIGHT_WINE_RECEIVED");
    if (folder_.empty() || image_.empty() || received_.empty()) {
      GTEST_SKIP() << "no simulated readers: run through tools/wine/wine-tests.sh";
    }
    SetFirmwareFolder(folder_);
    file_ = RecordsOf(folder_ + "/" + image_ + ".hex");
    ASSERT_GT(file_.size(), 100u) << "the image to send";
  }
  void TearDown() override { CloseReaderPort(); }

  // Begin Update on `port` as the command-line program asks for it.
  BeginUpdateResult Begin(int port, bool recover) {
    BeginUpdateRequest request;
    request.have_firmware = true;
    request.firmware_listed = true;
    request.base_name = image_;
    request.port = port;
    request.recover = recover;
    request.fields = fields_;
    return BeginUpdate(request);
  }

  // Starts the worker and follows it to its completion, and a little beyond it.
  RunSeen Follow(std::unique_ptr<UpdateJob> job) {
    RunSeen run;
    job->target = queue_.handle();
    EXPECT_EQ(StartUpdateWorker(std::move(job)), 0);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      MessageId message = 0;
      std::unique_ptr<PostedRecord> record;
      if (!queue_.Pump(&message, &record, run.job ? 300ms : 1000ms)) {
        if (run.job) break;  // nothing more after the completion
        continue;
      }
      if (message == UpdateCompleteMessage()) {
        ++run.completions;
        if (!run.job) run.job.reset(dynamic_cast<UpdateJob*>(record.release()));
        continue;
      }
      const auto* note = dynamic_cast<const ProgressNote*>(record.get());
      EXPECT_NE(note, nullptr);
      EXPECT_FALSE(run.job) << "a progress note after the completion";
      if (note != nullptr) run.notes.push_back({message == VerifyProgressMessage(), *note});
    }
    EXPECT_NE(run.job, nullptr) << "no completion";
    return run;
  }

  // What the simulator on COM<port> received in its last complete download; waits for the file
  // it writes after each download.
  std::vector<Record> Received(int port) const {
    const std::string path = received_ + "/port" + std::to_string(port) + ".hex";
    for (int tries = 0; tries < 50; ++tries) {
      if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return RecordsOf(path);
      }
      std::this_thread::sleep_for(100ms);
    }
    ADD_FAILURE() << "the simulator wrote no " << path;
    return {};
  }

  // A run that completed once and left the reader holding the whole image.
  void ExpectWholeImage(const RunSeen& run, int port) const {
    ASSERT_NE(run.job, nullptr);
    EXPECT_EQ(run.completions, 1);
    EXPECT_EQ(run.job->result, 0);
    EXPECT_FALSE(run.job->failed_in_check);
    EXPECT_EQ(run.job->line, file_.size());
    EXPECT_EQ(ReaderPortHandle(), nullptr) << "the worker closes the port";
    EXPECT_EQ(Received(port), file_) << "the reader holds the image record for record";
  }

  std::string folder_;
  std::string image_;
  std::string received_;
  std::vector<Record> file_;
  MessageFields fields_{};
  QueuePostTarget queue_;
};

TEST_F(WineUpdateTest, FullUpdateDeliversTheFileWithProgressInOrder) {
  const int port = PortFromEnvironment("FLASHWRIGHT_WINE_UPDATE_COM");
  ASSERT_NE(port, 0);
  BeginUpdateResult started = Begin(port, false);
  ASSERT_EQ(started.step, BeginUpdateStep::Start) << started.text;
  EXPECT_EQ(started.reader.bootloader, 0x0203u) << "the reader was asked before the run";
  ASSERT_NE(started.job, nullptr);

  RunSeen run = Follow(std::move(started.job));
  ExpectWholeImage(run, port);
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->phase, kPhaseSend);

  // The check pass reports first, then the programming pass; within each the lines and bytes
  // only grow, and each ends with its report of the end-of-file record.
  ASSERT_FALSE(run.notes.empty());
  bool programming = false;
  std::uint32_t line = 0;
  std::uint32_t consumed = 0;
  int ends = 0;
  for (const Note& seen : run.notes) {
    if (!seen.verify && !programming) {
      programming = true;
      line = consumed = 0;
    }
    EXPECT_EQ(seen.verify, !programming) << "a check report during programming";
    EXPECT_GE(seen.note.line, line);
    EXPECT_GE(seen.note.consumed, consumed);
    EXPECT_LE(seen.note.consumed, seen.note.total);
    line = seen.note.line;
    consumed = seen.note.consumed;
    if (seen.note.last != 0) {
      ++ends;
      EXPECT_EQ(seen.note.line, file_.size());
    }
  }
  EXPECT_TRUE(programming);
  EXPECT_EQ(ends, 2);
  EXPECT_NE(run.notes.back().note.last, 0u);

  int asked = 0;
  const RunCompletion completion =
      CompleteUpdateRun(*run.job, fields_, started.reader.bootloader, 0,
                        [&asked](const UpdateOutcome&) { return ++asked, false; });
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(completion.retry, nullptr);
  EXPECT_EQ(completion.text,
            "Reader firmware on COM " + std::to_string(port) + " successfully updated.");
}

TEST_F(WineUpdateTest, RecoverRunOnAReaderWaitingInDownloadMode) {
  const int port = PortFromEnvironment("FLASHWRIGHT_WINE_RECOVER_COM");
  ASSERT_NE(port, 0);
  BeginUpdateResult started = Begin(port, true);
  ASSERT_EQ(started.step, BeginUpdateStep::Start) << started.text;
  ASSERT_NE(started.job, nullptr);
  EXPECT_TRUE(started.job->recover);

  ExpectWholeImage(Follow(std::move(started.job)), port);
}

TEST_F(WineUpdateTest, HangUpMidDownloadFailsAndTheRetryCompletesOnTheSamePort) {
  const int port = PortFromEnvironment("FLASHWRIGHT_WINE_HANGUP_COM");
  ASSERT_NE(port, 0);
  BeginUpdateResult started = Begin(port, false);
  ASSERT_EQ(started.step, BeginUpdateStep::Start) << started.text;
  ASSERT_NE(started.job, nullptr);

  RunSeen run = Follow(std::move(started.job));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.completions, 1);
  // The line goes once the reader has answered forty record frames (the first record counts
  // twice, so that is record 39) and the host has taken the last answer; a few more records
  // may get through before the simulator sees that. The run ends in the middle of the image,
  // with the error Windows gives for a line that has hung up.
  EXPECT_EQ(run.job->result, static_cast<LinkError>(ERROR_NOT_READY));
  EXPECT_FALSE(run.job->failed_in_check);
  EXPECT_EQ(run.job->phase, kPhaseSend);
  EXPECT_GE(run.job->line, 40u);
  EXPECT_LT(run.job->line, file_.size());
  EXPECT_EQ(ReaderPortHandle(), nullptr) << "the failed run leaves the port closed";

  // "Try again?" answered yes: the same image in recover mode on the same port.
  int asked = 0;
  RunCompletion completion =
      CompleteUpdateRun(*run.job, fields_, started.reader.bootloader, 0,
                        [&asked](const UpdateOutcome&) { return ++asked, true; });
  EXPECT_EQ(asked, 1);
  ASSERT_NE(completion.retry, nullptr);
  EXPECT_TRUE(completion.retry->recover);
  ExpectWholeImage(Follow(std::move(completion.retry)), port);
}

}  // namespace
}  // namespace flashwright
