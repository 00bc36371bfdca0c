// Update runs end to end: the workers talk to the reader simulator over a pseudo-terminal and
// report through a queue target, as a front end would see them.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reader_update/download_engine.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/firmware_source.h"
#include "reader_update/outcome_text.h"
#include "platform/posted_messages.h"
#include "reader_update/tests/hex_text.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using namespace std::chrono_literals;
using sim::ReaderSimOptions;
using sim::ReaderSimulator;
using sim::SimRecord;

constexpr unsigned kCom = 3;
constexpr std::uint8_t kEnterDownloadCommand = 0x3C;
constexpr std::uint8_t kResetConfigurationCommand = 0x32;

std::string FixturePath(const char* name) { return std::string(FW_FIXTURE_DIR) + "/" + name; }

// The records of a HEX file, up to and including its end-of-file record.
std::vector<SimRecord> RecordsOf(const std::string& path) {
  std::vector<SimRecord> records;
  ImageFile file;
  if (file.Open(path.c_str()) != 0) return records;
  std::unique_ptr<FirmwareSource> source;
  if (FirmwareSource::Create(file.Size(), &file, ReadImageFile, nullptr, &source) != 0) {
    return records;
  }
  FirmwareRecord record;
  while (source->ReadRecord(&record) == 0) {
    records.push_back({record.count, record.address, record.type,
                       std::vector<std::uint8_t>(record.data.begin(),
                                                 record.data.begin() + record.count),
                       record.checksum});
    if (record.type == kRecordEndOfFile) break;
  }
  return records;
}

struct Note {
  MessageId message;
  ProgressNote note;
};

// What a front end saw of one run.
struct RunSeen {
  std::unique_ptr<UpdateJob> job;
  std::vector<Note> notes;

  std::vector<ProgressNote> Notes(MessageId message) const {
    std::vector<ProgressNote> picked;
    for (const Note& n : notes) {
      if (n.message == message) picked.push_back(n.note);
    }
    return picked;
  }
};

class UpdateEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFirmwareFolder(firmware_.path());
  }

  void StartReader(const ReaderSimOptions& options = {}) {
    reader_ = std::make_unique<ReaderSimulator>(options);
    ASSERT_TRUE(reader_->Start(ports_.path(), kCom));
  }

  void AddImage(const std::string& base_name, const char* fixture) {
    std::filesystem::copy_file(FixturePath(fixture), firmware_.Join(base_name + ".hex"));
  }

  std::unique_ptr<UpdateJob> Job(const std::string& base_name) {
    auto job = std::make_unique<UpdateJob>();
    job->target = queue_.handle();
    job->port = kCom;
    job->bootloader = 0x0203;
    job->flags = 0x01;
    job->base_name = base_name;
    return job;
  }

  // Starts the worker and follows it to its completion.
  RunSeen Follow(std::unique_ptr<UpdateJob> job) {
    RunSeen run;
    EXPECT_EQ(StartUpdateWorker(std::move(job)), 0);
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      MessageId message = 0;
      std::unique_ptr<PostedRecord> record;
      if (!queue_.Pump(&message, &record, 1s)) continue;
      if (message == UpdateCompleteMessage()) {
        run.job.reset(dynamic_cast<UpdateJob*>(record.release()));
        break;
      }
      auto* note = dynamic_cast<ProgressNote*>(record.get());
      EXPECT_NE(note, nullptr);
      if (note != nullptr) run.notes.push_back({message, *note});
    }
    EXPECT_NE(run.job, nullptr) << "no completion";
    return run;
  }

  test::ScopedPortDir ports_;
  test::TempDir firmware_;
  QueuePostTarget queue_;
  std::unique_ptr<ReaderSimulator> reader_;
};

TEST_F(UpdateEndToEndTest, FullUpdateDeliversTheFileRecordForRecord) {
  StartReader();
  AddImage("rdr_ext", "srec_extended.hex");
  const std::vector<SimRecord> file = RecordsOf(FixturePath("srec_extended.hex"));
  ASSERT_EQ(file.size(), 67u);

  RunSeen run = Follow(Job("rdr_ext"));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->result, 0);
  EXPECT_FALSE(run.job->failed_in_check);
  EXPECT_EQ(run.job->phase, kPhaseSend);
  EXPECT_EQ(run.job->line, 67u);
  EXPECT_EQ(run.job->reset_selection, 0);

  EXPECT_EQ(reader_->Image(), file);
  const std::vector<SimRecord> wire = reader_->RecordLog();
  ASSERT_EQ(wire.size(), file.size() + 1);
  EXPECT_EQ(wire[0], file[0]);  // the first record goes out twice
  EXPECT_EQ(wire[1], file[0]);
  EXPECT_EQ(wire.back().type, kRecordEndOfFile);
  EXPECT_EQ(reader_->RequestCount(kEnterDownloadCommand), 1u);
  EXPECT_EQ(reader_->RequestCount(kResetConfigurationCommand), 0u);

  // Progress: the check and the programming pass each report their start, every sixteenth
  // line from 8 on and the end-of-file record.
  const std::string text = test::ReadFile(FixturePath("srec_extended.hex"));
  const auto size = static_cast<std::uint32_t>(text.size());
  const auto end_of_last_record = static_cast<std::uint32_t>(text.rfind(":00000001FF") + 11);
  for (MessageId message : {VerifyProgressMessage(), ProgramProgressMessage()}) {
    const std::vector<ProgressNote> notes = run.Notes(message);
    std::vector<std::uint32_t> lines;
    for (const ProgressNote& note : notes) {
      lines.push_back(note.line);
      EXPECT_EQ(note.total, size);
      EXPECT_EQ(note.range_start, 0);
      EXPECT_EQ(note.range_end, 100);
      EXPECT_EQ(note.image_index, 1);
      EXPECT_EQ(note.image_count, 1);
    }
    EXPECT_EQ(lines, (std::vector<std::uint32_t>{0, 0, 8, 24, 40, 56, 67}));
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().last, 1u);
    EXPECT_EQ(notes.back().consumed, end_of_last_record);
  }
  EXPECT_EQ(ComposeUpdateOutcome(*run.job, FirmwareFolder(), "", 0x0203).text,
            "Reader firmware on COM 3 successfully updated.");
}

TEST_F(UpdateEndToEndTest, RecoverModeSkipsEnterDownloadAndTheHeaderChecks) {
  ReaderSimOptions options;
  options.start_in_download_mode = true;
  StartReader(options);
  // Built for platform 1 with a record past the older bootloader's range: refused for this
  // reader outside recover mode.
  const std::string text = test::DataRecord(0, test::HeaderData(1, 1)) + test::Filler(8, 20) +
                           test::DataRecord(0x7C18, std::vector<std::uint8_t>(8, 0xA5)) +
                           test::EndRecord();
  ASSERT_TRUE(test::WriteFile(firmware_.Join("other.hex"), text));

  auto refused = Job("other");
  refused->bootloader = 0x01FF;
  refused->target = 0;
  refused->run_inline = true;
  ImageWorker(refused.get());
  EXPECT_EQ(refused->result, kLinkVariantMismatch);
  EXPECT_TRUE(refused->failed_in_check);
  EXPECT_TRUE(reader_->RecordLog().empty());

  auto job = Job("other");
  job->recover = true;
  job->bootloader = 0x01FF;
  RunSeen run = Follow(std::move(job));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->result, 0);
  EXPECT_EQ(run.job->line, 23u);
  EXPECT_EQ(reader_->RequestCount(kEnterDownloadCommand), 0u);
  EXPECT_EQ(reader_->Image(), RecordsOf(firmware_.Join("other.hex")));
}

TEST_F(UpdateEndToEndTest, PackageOfTwoImagesSharesTheBarAndResetsAfterTheLast) {
  StartReader();
  // Two images of the same size: the bar is split evenly.
  AddImage("boot", "objcopy_image.hex");
  AddImage("app2", "objcopy_image.hex");
  ASSERT_TRUE(test::WriteFile(firmware_.Join("suite.xml"),
                              "<?xml version=\"1.0\"?>\r\n<Package>\r\n"
                              "  <FirmwareFile>boot</FirmwareFile>\r\n"
                              "  <FirmwareFile>app2</FirmwareFile>\r\n</Package>\r\n"));
  auto job = Job("suite");
  job->is_package = true;
  job->reset_selection = kTechTagIt | kTechIso;
  RunSeen run = Follow(std::move(job));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->result, 0);
  EXPECT_EQ(run.job->base_name, "suite");
  EXPECT_EQ(run.job->line, 33u);
  EXPECT_EQ(run.job->reset_selection, kTechTagIt | kTechIso);
  EXPECT_EQ(run.job->reset_result, 0);
  EXPECT_EQ(reader_->RequestCount(kEnterDownloadCommand), 2u);
  EXPECT_EQ(reader_->RequestCount(kResetConfigurationCommand), 1u);
  EXPECT_EQ(reader_->Image(), RecordsOf(firmware_.Join("app2.hex")));
  EXPECT_EQ(reader_->RecordLog().size(), 2 * (33u + 1));

  std::vector<std::pair<std::uint16_t, std::uint16_t>> ranges;
  for (const ProgressNote& note : run.Notes(ProgramProgressMessage())) {
    EXPECT_EQ(note.image_count, 2);
    const std::pair<std::uint16_t, std::uint16_t> range{note.range_start, note.range_end};
    if (ranges.empty() || ranges.back() != range) ranges.push_back(range);
    EXPECT_EQ(note.image_index, note.range_start == 0 ? 1 : 2);
  }
  EXPECT_EQ(ranges, (std::vector<std::pair<std::uint16_t, std::uint16_t>>{{0, 50}, {50, 100}}));
  EXPECT_EQ(ComposeUpdateOutcome(*run.job, FirmwareFolder(), "", 0x0203).text,
            "Reader firmware on COM 3 successfully updated.\r\n"
            "Reset configuration (TagIt,ISO) successful.");
}

TEST_F(UpdateEndToEndTest, BadPackagesAndFilesEndBeforeAnythingIsSent) {
  StartReader();
  AddImage("boot", "objcopy_image.hex");
  ASSERT_TRUE(test::WriteFile(firmware_.Join("missing2.xml"),
                              "<Package><FirmwareFile>boot</FirmwareFile>"
                              "<FirmwareFile>gone</FirmwareFile></Package>"));
  ASSERT_TRUE(test::WriteFile(firmware_.Join("notxml.xml"), "boot\r\ngone\r\n"));
  ASSERT_TRUE(test::WriteFile(firmware_.Join("empty.xml"), "<Package></Package>"));
  std::string junk(3000, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) {
    junk[i] = static_cast<char>(i * 7919 % 251);
    if (junk[i] == ':') junk[i] = '\x01';  // no record ever starts
  }
  ASSERT_TRUE(test::WriteFile(firmware_.Join("junk.hex"), junk));
  ASSERT_TRUE(test::WriteFile(firmware_.Join("huge.hex"), ":FF000000" + std::string(40, 'A') +
                                                              "\r\n:00000001FF\r\n"));
  ASSERT_TRUE(test::WriteFile(firmware_.Join("lower.hex"), ":08000000" "0cef00f000004000" "00\r\n"
                                                               ":00000001FF\r\n"));
  ASSERT_TRUE(test::WriteFile(firmware_.Join("vanish.hex"), ":00000001FF\r\n"));

  struct Case {
    const char* name;
    bool package;
    LinkError result;
    std::int32_t phase;
    const char* failed_name;
    const char* message;
  };
  const Case cases[] = {
      {"missing2", true, kErrorFileNotFound, kPhaseRead, "gone", "Firmware file gone not found."},
      {"notxml", true, kErrorInvalidParameter, kPhaseRead, "notxml", "File error. File notxml"},
      {"empty", true, kErrorInvalidParameter, kPhaseRead, "empty", "File error. File empty"},
      {"nosuchpackage", true, kErrorInvalidParameter, kPhaseRead, "nosuchpackage", "File error."},
      {"junk", false, kLinkEndOfData, kPhaseRead, "junk", "File error. File junk"},
      {"huge", false, kLinkBadFile, kPhaseRead, "huge", "File error. File huge"},
      {"lower", false, kLinkBadFile, kPhaseRead, "lower", "File error. File lower"},
      {"vanish", false, kErrorFileNotFound, kPhaseRead, "vanish", "Firmware file vanish not"},
  };
  // Listed, then gone before the run reads it.
  ASSERT_EQ(ListFirmwareFiles(firmware_.path()).size(), 8u);
  std::filesystem::remove(firmware_.Join("vanish.hex"));

  for (const Case& c : cases) {
    auto job = Job(c.name);
    job->is_package = c.package;
    RunSeen run = Follow(std::move(job));
    ASSERT_NE(run.job, nullptr) << c.name;
    EXPECT_EQ(run.job->result, c.result) << c.name;
    EXPECT_TRUE(run.job->failed_in_check) << c.name;
    EXPECT_EQ(run.job->phase, c.phase) << c.name;
    EXPECT_EQ(run.job->base_name, c.failed_name) << c.name;
    const UpdateOutcome outcome = ComposeUpdateOutcome(*run.job, FirmwareFolder(), "", 0x0203);
    EXPECT_EQ(outcome.kind, ui::PaneKind::kError);
    EXPECT_NE(outcome.text.find(c.message), std::string::npos) << outcome.text;
    EXPECT_FALSE(outcome.offer_retry);
  }
  // Each worker refuses the other kind of job at once and leaves it with the caller.
  auto image_job = Job("boot");
  auto package_job = Job("missing2");
  package_job->is_package = true;
  EXPECT_EQ(PackageWorker(image_job.get()), 1u);
  EXPECT_EQ(ImageWorker(package_job.get()), 1u);
  EXPECT_FALSE(image_job->failed_in_check);  // a run of either worker would set it
  EXPECT_FALSE(package_job->failed_in_check);
  MessageId message = 0;
  std::unique_ptr<PostedRecord> record;
  EXPECT_FALSE(queue_.Pump(&message, &record, 100ms));

  // Not a byte of firmware, no switch into download mode.
  EXPECT_TRUE(reader_->RecordLog().empty());
  EXPECT_EQ(reader_->RequestCount(kEnterDownloadCommand), 0u);

  // No reader port at all.
  auto job = Job("boot");
  job->port = kCom + 1;
  RunSeen run = Follow(std::move(job));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->result, kLinkPortOpenFailed);
  EXPECT_EQ(run.job->phase, kPhasePortNotOpen);
  EXPECT_EQ(ComposeUpdateOutcome(*run.job, FirmwareFolder(), "", 0x0203).text,
            "Reader response error. Reader may not support firmware update.\r\n(Err:-9,Line:0)");
}

TEST_F(UpdateEndToEndTest, RefusedEnterDownloadEndsInPhaseOne) {
  StartReader();
  AddImage("boot", "objcopy_image.hex");
  reader_->SetFault(sim::SimFault::AckStatus2);
  RunSeen run = Follow(Job("boot"));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->result, kLinkRejected);
  EXPECT_FALSE(run.job->failed_in_check);
  EXPECT_EQ(run.job->phase, kPhaseEnterDownload);
  EXPECT_EQ(run.job->line, 1u);
  EXPECT_TRUE(reader_->RecordLog().empty());
  const UpdateOutcome outcome = ComposeUpdateOutcome(*run.job, FirmwareFolder(), "", 0x0203);
  EXPECT_FALSE(outcome.offer_retry);
  EXPECT_EQ(outcome.text,
            "Reader response error. Reader may not support firmware update.\r\n(Err:-8,Line:1)");
}

TEST_F(UpdateEndToEndTest, HangUpMidwayThenRecoverModeCompletesTheImage) {
  StartReader();
  AddImage("boot", "objcopy_image.hex");
  const std::vector<SimRecord> file = RecordsOf(FixturePath("objcopy_image.hex"));
  // The line goes once the reader has answered ten record frames (the first record counts
  // twice, so the tenth frame is record 9). Its answer to that frame is "busy", so the host
  // pauses before it sends the frame again, and finds the line gone.
  reader_->HangUpAfterRecords(10);
  reader_->SetRecordAckStatus(9, 0xFE);
  RunSeen run = Follow(Job("boot"));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->result, EIO);
  EXPECT_FALSE(run.job->failed_in_check);
  EXPECT_EQ(run.job->phase, kPhaseSend);
  EXPECT_EQ(run.job->line, 9u);
  EXPECT_EQ(reader_->RecordLog().size(), 10u);
  EXPECT_EQ(reader_->HangUps(), 1u);
  EXPECT_TRUE(reader_->InDownloadMode());
  const UpdateOutcome outcome = ComposeUpdateOutcome(*run.job, FirmwareFolder(), "", 0x0203);
  EXPECT_TRUE(outcome.offer_retry);
  EXPECT_EQ(outcome.text.rfind("Reader update on COM 3 failed.", 0), 0u) << outcome.text;

  // The retry a front end starts: recover mode, bootloader unknown, no flags.
  auto retry = Job("boot");
  retry->recover = true;
  retry->bootloader = kBootloaderUnknown;
  retry->flags = 0;
  RunSeen again = Follow(std::move(retry));
  ASSERT_NE(again.job, nullptr);
  EXPECT_EQ(again.job->result, 0);
  EXPECT_EQ(again.job->line, 33u);
  EXPECT_EQ(reader_->RequestCount(kEnterDownloadCommand), 1u);
  EXPECT_EQ(reader_->Image(), file);
  EXPECT_EQ(ComposeUpdateOutcome(*again.job, FirmwareFolder(), "", kBootloaderUnknown).text,
            "Reader firmware on COM 3 successfully updated.\r\nRESET POWER ON READER.");
}

TEST_F(UpdateEndToEndTest, ResetConfigurationOnlyWhenTheReaderAllowsIt) {
  // A 2.x reader (no hardware query, so the bootloader is unknown) cannot take the reset.
  ReaderSimOptions options;
  options.version = 0x0A020105;
  StartReader(options);
  AddImage("boot", "objcopy_image.hex");
  auto job = Job("boot");
  job->bootloader = kBootloaderUnknown;
  job->flags = 0;
  job->reset_selection = kTechTagIt;
  RunSeen run = Follow(std::move(job));
  ASSERT_NE(run.job, nullptr);
  EXPECT_EQ(run.job->result, 0);
  EXPECT_EQ(run.job->reset_selection, 0);
  EXPECT_EQ(run.job->reset_result, 0);
  EXPECT_EQ(reader_->RequestCount(kResetConfigurationCommand), 0u);
  EXPECT_EQ(ComposeUpdateOutcome(*run.job, FirmwareFolder(), "", kBootloaderUnknown).text,
            "Reader firmware on COM 3 successfully updated.\r\nRESET POWER ON READER.");
}

}  // namespace
}  // namespace flashwright
