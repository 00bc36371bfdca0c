// The run control of a reader update, driven as the view and the command line drive it,
// against simulated readers on pseudo-terminals, a fake sysfs tree (the adapters discovery
// finds) and an empty Wine prefix (no sibling configuration).
#include <sys/stat.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/string_table.h"
#include "platform/posted_messages.h"
#include "reader_link/transport.h"
#include "reader_update/begin_update.h"
#include "reader_update/firmware_folder.h"
#include "reader_link/reader_information.h"
#include "reader_update/run_progress_text.h"
#include "reader_update/tests/hex_text.h"
#include "reader_update/update_run.h"
#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using namespace std::chrono_literals;
using sim::ReaderSimOptions;
using sim::ReaderSimulator;

constexpr unsigned kCom = 3;
constexpr std::uint8_t kVersionCommand = 0x11;
constexpr std::uint8_t kEnterDownloadCommand = 0x3C;
constexpr std::uint8_t kResetConfigurationCommand = 0x32;

class RunControlTest : public ::testing::Test {
 protected:
  RunControlTest()
      : ports_(dir_.Join("ports")),
        sysfs_root_(dir_.Join("sysfs")),
        wine_(dir_.Join("wine")),
        firmware_(dir_.Join("firmware")),
        port_env_("FLASHWRIGHT_PORT_DIR", ports_.c_str()),
        sysfs_env_("FLASHWRIGHT_SYSFS", sysfs_root_.c_str()),
        wine_env_("WINEPREFIX", wine_.c_str()) {
    for (const std::string& folder : {ports_, sysfs_root_, wine_, firmware_, dir_.Join("dev")}) {
      mkdir(folder.c_str(), 0755);
    }
    sysfs_ = std::make_unique<test::FakeSysfs>(sysfs_root_);
    SetFirmwareFolder(firmware_);
  }

  // A reader on COM `com` behind an FT232 adapter whose tty is `tty`.
  ReaderSimulator& AdapterReader(unsigned com, const std::string& tty,
                                 const ReaderSimOptions& options = {}) {
    test::FakeUsbDevice device;
    device.name = "1-" + std::to_string(com);
    device.vendor = 0x0403;
    device.product_id = 0x6001;
    device.product = "FT232R USB UART";
    sysfs_->AddSerialAdapter(device, "ftdi_sio", tty);
    return Reader(com, options, "../dev/" + tty);
  }

  ReaderSimulator& Reader(unsigned com, const ReaderSimOptions& options = {},
                          const std::string& link = {}) {
    readers_.push_back(std::make_unique<ReaderSimulator>(options));
    EXPECT_TRUE(readers_.back()->Start(ports_, com, link));
    return *readers_.back();
  }

  void WriteImage(const std::string& base_name) {
    const std::string text = test::DataRecord(0, test::HeaderData(1, 0)) +
                             test::Filler(0x10, 20) + test::EndRecord();
    ASSERT_TRUE(test::WriteFile(firmware_ + "/" + base_name + ".hex", text));
  }

  BeginUpdateRequest Request(int port, const std::string& base_name) const {
    BeginUpdateRequest request;
    request.have_firmware = true;
    request.firmware_listed = true;
    request.base_name = base_name;
    request.port = port;
    request.reset_selection = 3;
    request.fields.firmware_folder = firmware_;
    return request;
  }

  // Runs the job on the worker and returns it as the completion hands it back.
  std::unique_ptr<UpdateJob> Run(std::unique_ptr<UpdateJob> job) {
    job->target = queue_.handle();
    EXPECT_EQ(StartUpdateWorker(std::move(job)), 0);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      MessageId message = 0;
      std::unique_ptr<PostedRecord> record;
      if (queue_.Pump(&message, &record, 1s) && message == UpdateCompleteMessage()) {
        return TakeRecord<UpdateJob>(std::move(record));
      }
    }
    ADD_FAILURE() << "no completion";
    return nullptr;
  }

  test::TempDir dir_;
  std::string ports_, sysfs_root_, wine_, firmware_;
  test::ScopedEnv port_env_, sysfs_env_, wine_env_;
  std::unique_ptr<test::FakeSysfs> sysfs_;
  std::vector<std::unique_ptr<ReaderSimulator>> readers_;
  QueuePostTarget queue_;
};

TEST_F(RunControlTest, RecoverRunFromToolsMenuSkipsTheGateAndRunsInRecoverMode) {
  // A reader whose download broke off: it waits for records and answers nothing else. Its
  // version would be refused by the gate, which recover mode does not consult.
  ReaderSimOptions options;
  options.version = 0x0A020005;
  options.start_in_download_mode = true;
  ReaderSimulator& reader = Reader(kCom, options);
  WriteImage("Reader_4_242_1");

  // The view in recover mode has not asked the reader (its cache is empty).
  BeginUpdateRequest request = Request(static_cast<int>(kCom), "Reader_4_242_1");
  request.reader_known = true;
  request.recover = true;
  request.basic_view = false;
  BeginUpdateResult begin = BeginUpdate(request);
  ASSERT_EQ(begin.step, BeginUpdateStep::Start) << begin.text;
  ASSERT_NE(begin.job, nullptr);
  EXPECT_TRUE(begin.job->recover);
  EXPECT_EQ(begin.job->bootloader, kBootloaderUnknown);
  EXPECT_EQ(begin.job->port, kCom);

  std::unique_ptr<UpdateJob> done = Run(std::move(begin.job));
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(done->result, 0);
  EXPECT_EQ(reader.RequestCount(kEnterDownloadCommand), 0u);
  EXPECT_EQ(reader.RequestCount(kVersionCommand), 1u);  // the reset's version read afterwards
  EXPECT_EQ(reader.CompletedDownloads(), 1u);

  // The command line does not know the reader: in recover mode it is still not asked.
  BeginUpdateRequest cli = Request(static_cast<int>(kCom), "Reader_4_242_1");
  cli.recover = true;
  const std::size_t asked = reader.RequestCount(kVersionCommand);
  BeginUpdateResult cli_begin = BeginUpdate(cli);
  ASSERT_EQ(cli_begin.step, BeginUpdateStep::Start) << cli_begin.text;
  EXPECT_TRUE(cli_begin.job->recover);
  EXPECT_EQ(reader.RequestCount(kVersionCommand), asked);
}

TEST_F(RunControlTest, ControlHeldReportsWhatDiscoveryFoundAndStartsNothing) {
  AdapterReader(kCom, "ttyUSB0");
  WriteImage("Reader_4_242_1");
  BeginUpdateRequest request = Request(0, "Reader_4_242_1");
  request.reader_known = true;
  request.control_held = true;

  BeginUpdateResult found = BeginUpdate(request);
  EXPECT_EQ(found.step, BeginUpdateStep::Reported);
  EXPECT_EQ(found.kind, ui::PaneKind::kNeutral);
  EXPECT_EQ(found.job, nullptr);
  EXPECT_EQ(found.text,
            "Reader version A04F108 (Bootloader 0203,flags 01) found on COM 3 using FTDI Ports.");

  // The gate's verdict is added; discovery itself then falls back to the (absent) sibling
  // configuration and reports the last probe without a source text.
  request.limits.too_new = {"G4.200"};
  found = BeginUpdate(request);
  EXPECT_EQ(found.text, "Reader version A04F108 (Bootloader 0203,flags 01) found on COM 3 "
                        "using . Version is too new to update.");

  // The reader stops answering: the probe's error is reported.
  readers_.back()->SetFault(sim::SimFault::NoAnswer);
  request.limits = VersionLimits{};
  found = BeginUpdate(request);
  EXPECT_EQ(found.step, BeginUpdateStep::Reported);
  EXPECT_EQ(found.text, FormatText("Reader version (error %ld) found on COM 3 using .",
                                   static_cast<long>(kLinkTimeout)));
}

TEST_F(RunControlTest, ControlHeldWithoutAnyReaderPortReportsNoReaderFound) {
  WriteImage("Reader_4_242_1");
  BeginUpdateRequest request = Request(0, "Reader_4_242_1");
  request.reader_known = true;
  request.control_held = true;
  const BeginUpdateResult found = BeginUpdate(request);
  EXPECT_EQ(found.step, BeginUpdateStep::Reported);
  EXPECT_EQ(found.text, "No reader found.");

  // Without Ctrl the same is a refusal.
  request.control_held = false;
  const BeginUpdateResult refused = BeginUpdate(request);
  EXPECT_EQ(refused.step, BeginUpdateStep::Refused);
  EXPECT_EQ(refused.reason, RefusalReason::NoReader);
  EXPECT_EQ(refused.text, "No reader found.");
}

TEST_F(RunControlTest, FailedDiscoveryShowsMessage141WithTheError) {
  ReaderSimulator& reader = AdapterReader(kCom, "ttyUSB0");
  reader.SetFault(sim::SimFault::NoAnswer);
  WriteImage("Reader_4_242_1");
  BeginUpdateRequest request = Request(0, "Reader_4_242_1");
  request.reader_known = true;

  const BeginUpdateResult begin = BeginUpdate(request);
  EXPECT_EQ(begin.step, BeginUpdateStep::Refused);
  EXPECT_EQ(begin.reason, RefusalReason::NoReader);
  EXPECT_EQ(begin.kind, ui::PaneKind::kError);
  EXPECT_EQ(begin.job, nullptr);
  EXPECT_EQ(begin.text, FormatText("Cannot detect reader on COM 3. Exit other applications and "
                                   "try again.\r\n(error %ld)",
                                   static_cast<long>(kLinkTimeout)));
}

TEST_F(RunControlTest, DiscoveredReaderIsGatedAndUpdated) {
  ReaderSimulator& reader = AdapterReader(kCom, "ttyUSB0");
  WriteImage("Reader_4_242_1");
  BeginUpdateRequest request = Request(0, "Reader_4_242_1");
  request.reader_known = true;
  std::vector<RunReader> noticed;
  BeginUpdateResult begin = BeginUpdate(request, [&](const RunReader& r) { noticed.push_back(r); });
  ASSERT_EQ(begin.step, BeginUpdateStep::Start) << begin.text;
  ASSERT_EQ(noticed.size(), 1u);
  EXPECT_TRUE(noticed[0].discovered);
  EXPECT_EQ(noticed[0].source, "FTDI Ports");
  EXPECT_EQ(begin.job->port, kCom);
  EXPECT_EQ(begin.job->bootloader, 0x0203);
  EXPECT_EQ(begin.job->flags, 0x01);
  EXPECT_FALSE(begin.job->recover);

  std::unique_ptr<UpdateJob> done = Run(std::move(begin.job));
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(done->result, 0);
  EXPECT_EQ(reader.RequestCount(kEnterDownloadCommand), 1u);
  const RunCompletion completion =
      CompleteUpdateRun(*done, request.fields, kBootloaderUnknown, 3, {});
  EXPECT_EQ(completion.kind, ui::PaneKind::kSuccess);
  EXPECT_EQ(completion.text,
            "Reader firmware on COM 3 successfully updated.\r\n"
            "Reset configuration (TagIt,ISO) successful.\r\nRESET POWER ON READER.");
}

TEST_F(RunControlTest, VersionGateRefusesWithTheServiceNote) {
  ReaderSimOptions old_reader;
  old_reader.version = 0x0A020007;
  Reader(kCom, old_reader);
  ReaderSimOptions new_reader;
  new_reader.version = 0x0A050001;
  Reader(kCom + 1, new_reader);
  WriteImage("Reader_4_242_1");

  // The command line asks the reader on the port itself.
  BeginUpdateResult begin = BeginUpdate(Request(static_cast<int>(kCom), "Reader_4_242_1"));
  EXPECT_EQ(begin.reason, RefusalReason::Version);
  EXPECT_EQ(begin.verdict, -1);
  EXPECT_EQ(begin.text, "Cannot update reader firmware on COM 3. The reader version is 2.0.7. "
                        "Contact service.");

  BeginUpdateRequest too_new = Request(static_cast<int>(kCom + 1), "Reader_4_242_1");
  too_new.limits.too_new = {"G4"};
  begin = BeginUpdate(too_new);
  EXPECT_EQ(begin.verdict, 1);
  EXPECT_EQ(begin.text, "Updating reader firmware on COM 4 is not allowed. The reader version "
                        "is 5.0.1.");

  // A port that does not exist, and one without a reader.
  begin = BeginUpdate(Request(9, "Reader_4_242_1"));
  EXPECT_EQ(begin.reason, RefusalReason::NoReader);
  EXPECT_EQ(begin.text, "COM 9 does not exist. Select a different COM port.");
  readers_.back()->SetFault(sim::SimFault::NoAnswer);
  begin = BeginUpdate(Request(static_cast<int>(kCom + 1), "Reader_4_242_1"));
  EXPECT_EQ(begin.text, "No reader found on COM 4. Select a different COM port.");
}

TEST_F(RunControlTest, BasicViewTakesAMatchingImageAsAlreadyLoaded) {
  ReaderSimulator& reader = Reader(kCom);
  WriteImage("Reader_42418");
  const ReaderInformation info = ReadReaderInformation(static_cast<int>(kCom), true);
  ASSERT_EQ(info.result, 0);

  BeginUpdateRequest request = Request(static_cast<int>(kCom), "reader_42418");
  request.reader_known = true;
  request.version = info.version;
  request.bootloader = info.bootloader;
  request.flags = info.flags;
  request.basic_view = true;
  request.fields.view_suffix = " using Advanced View";
  const BeginUpdateResult begin = BeginUpdate(request);
  EXPECT_EQ(begin.step, BeginUpdateStep::AlreadyUpdated);
  EXPECT_EQ(begin.kind, ui::PaneKind::kSuccess);
  EXPECT_EQ(begin.text, "Reader firmware on COM 3 already updated.\r\n"
                        "Reset configuration (TagIt,ISO) successful.");
  EXPECT_EQ(reader.RequestCount(kResetConfigurationCommand), 1u);
  EXPECT_EQ(reader.RequestCount(kEnterDownloadCommand), 0u);

  // Not in the advanced view, and never for a package.
  request.basic_view = false;
  EXPECT_EQ(BeginUpdate(request).step, BeginUpdateStep::Start);
  EXPECT_FALSE(FirmwareAlreadyLoaded("Reader_42418", true, 0x0A04F108));
  EXPECT_TRUE(FirmwareAlreadyLoaded("READER_42418", false, 0x0A04F108));
}

TEST_F(RunControlTest, NoFirmwareSelectedNamesTheFolderWhenTheListIsEmpty) {
  BeginUpdateRequest request = Request(static_cast<int>(kCom), "");
  request.have_firmware = false;
  request.fields.view_suffix = " using Advanced View";
  EXPECT_EQ(BeginUpdate(request).text, "Select a firmware file using Advanced View.");
  request.firmware_listed = false;
  EXPECT_EQ(BeginUpdate(request).text,
            "No firmware files. Check firmware directory at " + firmware_ + ".");
}

TEST_F(RunControlTest, ReaderInformationClosesOnlyAPortItOpened) {
  Reader(kCom);
  ReaderInformation info = ReadReaderInformation(static_cast<int>(kCom), true);
  EXPECT_EQ(info.result, 0);
  EXPECT_EQ(info.version_text, "4.241.8*\r\nBootloader:2.03\r\nPlatform:520/530");
  EXPECT_EQ(info.power_text, "1W");
  EXPECT_EQ(ReaderPortHandle(), nullptr);

  // While another owner holds a port, the read fails and leaves that port open.
  ASSERT_EQ(OpenReaderPort(kCom), 0);
  info = ReadReaderInformation(static_cast<int>(kCom), true);
  EXPECT_EQ(info.result, kLinkPortAlreadyOpen);
  EXPECT_EQ(info.version_text, "(no reader)");
  EXPECT_EQ(info.power_text, "NA");
  EXPECT_NE(ReaderPortHandle(), nullptr);
  CloseReaderPort();
}

// The completion as the front ends see it: "Try again?" is asked through the callback.
TEST(UpdateRunCompletion, TryAgainStartsARecoverRunAndNoAddsTheRecoverHint) {
  UpdateJob failed;
  failed.port = 4;
  failed.base_name = "Reader_4_242_1";
  failed.result = -5;
  failed.phase = kPhaseSend;
  failed.line = 12;
  failed.reset_selection = 1;
  MessageFields fields{"/fw", " using Advanced View"};

  std::vector<std::string> asked;
  RunCompletion yes = CompleteUpdateRun(failed, fields, 0x0203, 2, [&](const UpdateOutcome& o) {
    asked.push_back(RetryQuestionText(o));
    return true;
  });
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], "Reader update on COM 4 failed. Check reader power and serial cables.\r\n"
                      "(Err:-5,Line:12)\r\n\r\nTry again?");
  ASSERT_NE(yes.retry, nullptr);
  EXPECT_TRUE(yes.retry->recover);
  EXPECT_EQ(yes.retry->bootloader, kBootloaderUnknown);
  EXPECT_EQ(yes.retry->flags, 0);
  EXPECT_EQ(yes.retry->reset_selection, 2);
  EXPECT_EQ(yes.retry->base_name, "Reader_4_242_1");

  RunCompletion no = CompleteUpdateRun(failed, fields, 0x0203, 2, [](const UpdateOutcome&) {
    return false;
  });
  EXPECT_EQ(no.retry, nullptr);
  EXPECT_EQ(no.kind, ui::PaneKind::kError);
  EXPECT_EQ(no.text, "Reader update on COM 4 failed. Check reader power and serial cables.\r\n"
                     "Before trying again, reset power on device and select Tools: Recover from "
                     "Download Error using Advanced View.\r\n(Err:-5,Line:12)");

  // A package is never asked.
  failed.is_package = true;
  asked.clear();
  RunCompletion package = CompleteUpdateRun(failed, fields, 0x0203, 2, [&](const UpdateOutcome&) {
    asked.emplace_back();
    return true;
  });
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(package.retry, nullptr);
}

TEST(RunProgressText, StatusLineAndBarOfARun) {
  ProgressNote note;
  note.range_start = 50;
  note.range_end = 100;
  note.image_index = 2;
  note.image_count = 2;
  note.consumed = 100;
  note.total = 200;
  note.line = 24;
  EXPECT_EQ(VerifyStatusText(note), "(2 of 2) Verify Line: 24");
  EXPECT_EQ(ProgramStatusText(note), "(2 of 2) Program Line: 24");
  EXPECT_EQ(ProgramBarPosition(note), 75);
  note.line = 0;
  note.image_count = 1;
  note.last = 1;
  EXPECT_EQ(ProgramStatusText(note), "Initializing......Finishing...");
  EXPECT_EQ(ProgramBarPosition(note), 50);
}

}  // namespace
}  // namespace flashwright
