// flashwright-cli as a technician diagnoses a reader with it: the version for a bug report,
// quiet and verbose runs with the wire trace, device paths for --port, the reason of a port
// that cannot be opened, waiting for a port, and leaving a reader alone that has the image.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/cli/tests/cli_fixture.h"
#include "reader_link/frame.h"

namespace flashwright::cli_test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::uint8_t kEnterDownload = 0x3C;
constexpr std::uint8_t kResetConfiguration = 0x32;

// A line of the wire trace: "wire <ms> ms <direction> <text>".
struct TraceLine {
  double ms = 0;
  std::string direction;
  std::string text;
};

std::vector<TraceLine> TraceLines(const std::string& text) {
  std::vector<TraceLine> lines;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("wire ", 0) != 0) continue;
    TraceLine parsed;
    char direction[16] = {};
    int consumed = 0;
    if (std::sscanf(line.c_str(), "wire %lf ms %15s %n", &parsed.ms, direction, &consumed) < 2) {
      ADD_FAILURE() << "not a trace line: " << line;
      continue;
    }
    parsed.direction = direction;
    parsed.text = line.substr(static_cast<std::size_t>(consumed));
    lines.push_back(parsed);
  }
  return lines;
}

std::vector<std::uint8_t> ParseHex(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 3) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::vector<nlohmann::json> JsonEvents(const std::string& out) {
  std::vector<nlohmann::json> events;
  for (const std::string& line : Lines(out)) {
    EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    if (nlohmann::json::accept(line)) events.push_back(nlohmann::json::parse(line));
  }
  return events;
}

nlohmann::json EventNamed(const std::vector<nlohmann::json>& events, const std::string& name) {
  for (const nlohmann::json& event : events) {
    if (event.value("event", "") == name) return event;
  }
  return nlohmann::json::object();
}

class CliDiagnosisTest : public CliTest {};

TEST_F(CliDiagnosisTest, VersionIsTheBuildsAndThePackagesVersion) {
  const test::ProgramResult text = Run({"--version"});
  EXPECT_EQ(text.exit_status, 0) << text.err;
  EXPECT_EQ(text.out, std::string("flashwright-cli ") + FLASHWRIGHT_PROJECT_VERSION + "\n");
  EXPECT_EQ(text.err, "");

  // The Debian package's changelog names the same version.
  const std::string changelog = test::ReadFile(FLASHWRIGHT_SOURCE_DIR "/packaging/debian/changelog");
  EXPECT_EQ(changelog.rfind(std::string("flashwright (") + FLASHWRIGHT_PROJECT_VERSION + ")", 0),
            0u)
      << changelog.substr(0, 60);

  const test::ProgramResult json = Run({"--json", "--version"});
  EXPECT_EQ(json.exit_status, 0) << json.err;
  const std::vector<nlohmann::json> events = JsonEvents(json.out);
  ASSERT_EQ(events.size(), 2u) << json.out;
  EXPECT_EQ(events[0]["event"], "version");
  EXPECT_EQ(events[0]["program"], "flashwright-cli");
  EXPECT_EQ(events[0]["version"], FLASHWRIGHT_PROJECT_VERSION);
  EXPECT_EQ(events[1]["event"], "outcome");
  EXPECT_EQ(events[1]["status"], 0);
}

TEST_F(CliDiagnosisTest, TraceOfTheVersionQueryIsTheRequestAndReplyFramesByteForByte) {
  StartReader(3);
  const test::ProgramResult run = Run({"-vv", "info", "--port", "3"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Version: 4.241.8"));

  const std::vector<TraceLine> trace = TraceLines(run.err);
  ASSERT_FALSE(trace.empty()) << run.err;
  EXPECT_EQ(trace.front().direction, "open");
  EXPECT_THAT(trace.front().text, HasSubstr("COM3 " + port_dir_ + "/COM3"));
  for (std::size_t i = 1; i < trace.size(); ++i) {
    EXPECT_GE(trace[i].ms, trace[i - 1].ms) << "time stamps are monotonic";
  }

  // The writes in order, and the bytes read between the first two writes.
  std::vector<std::string> writes;
  std::vector<std::uint8_t> first_reply;
  bool purged_before_first_write = false;
  for (std::size_t i = 0; i < trace.size(); ++i) {
    if (trace[i].direction == "write") writes.push_back(trace[i].text);
    if (trace[i].direction == "purge" && writes.empty()) purged_before_first_write = true;
    if (trace[i].direction == "read" && writes.size() == 1) {
      const std::vector<std::uint8_t> bytes = ParseHex(trace[i].text);
      first_reply.insert(first_reply.end(), bytes.begin(), bytes.end());
    }
  }
  ASSERT_GE(writes.size(), 2u) << run.err;
  EXPECT_TRUE(purged_before_first_write);
  EXPECT_EQ(writes[0], "D5 00 05 04 00 11 8C 66");
  EXPECT_EQ(writes[1], "D6 00 08 13 02 06 00 0A 00 05 D9");

  // The reply: one CRC-good D5 frame with echo 0x11 and the version 0A 04 F1 08.
  ASSERT_GE(first_reply.size(), 12u) << run.err;
  EXPECT_EQ(first_reply[0], kStartD5);
  const FrameCheck check = CheckFrame(first_reply.data(), first_reply.size());
  EXPECT_EQ(check.size, first_reply.size());
  EXPECT_TRUE(check.crc_ok);
  EXPECT_EQ(first_reply[5], 0x11);
  EXPECT_EQ(std::vector<std::uint8_t>(first_reply.begin() + 6, first_reply.begin() + 10),
            (std::vector<std::uint8_t>{0x0A, 0x04, 0xF1, 0x08}));
  EXPECT_EQ(trace.back().direction, "close");
}

TEST_F(CliDiagnosisTest, VerbosityLevelsAndTheLogFile) {
  StartReader(3);
  // Without -v: no trace at all.
  const test::ProgramResult plain = Run({"info", "--port", "3"});
  ASSERT_EQ(plain.exit_status, 0) << plain.err;
  EXPECT_TRUE(TraceLines(plain.err).empty()) << plain.err;

  // -v: the port's events, no bytes.
  const test::ProgramResult verbose = Run({"info", "-v", "--port", "3"});
  ASSERT_EQ(verbose.exit_status, 0) << verbose.err;
  std::vector<std::string> directions;
  for (const TraceLine& line : TraceLines(verbose.err)) directions.push_back(line.direction);
  EXPECT_THAT(directions, ::testing::Contains("open"));
  EXPECT_THAT(directions, ::testing::Contains("purge"));
  EXPECT_THAT(directions, Not(::testing::Contains("write")));
  EXPECT_THAT(directions, Not(::testing::Contains("read")));

  // --log without -v: the whole trace in the file, none on stderr; JSON stays clean.
  const std::string log = dir_.Join("trace.log");
  const test::ProgramResult logged = Run({"--json", "--log", log, "info", "--port", "3"});
  ASSERT_EQ(logged.exit_status, 0) << logged.err;
  EXPECT_EQ(logged.err, "");
  JsonEvents(logged.out);
  const std::vector<TraceLine> file = TraceLines(test::ReadFile(log));
  ASSERT_FALSE(file.empty());
  bool wrote_query = false;
  for (const TraceLine& line : file) {
    wrote_query = wrote_query || (line.direction == "write" && line.text == "D5 00 05 04 00 11 8C 66");
  }
  EXPECT_TRUE(wrote_query);

  // A reader that stays silent: the time-out is traced with its limit.
  readers_.front()->SetFault(sim::SimFault::NoAnswer);
  const test::ProgramResult silent = Run({"-v", "info", "--port", "3"});
  EXPECT_NE(silent.exit_status, 0);
  EXPECT_THAT(silent.err, HasSubstr("timeout no reply within 1250 ms"));
}

TEST_F(CliDiagnosisTest, QuietUpdatePrintsNoProgressLines) {
  sim::ReaderSimulator& reader = StartReader(3);
  const auto image = WriteImage("demo", SmallImage(20));
  const test::ProgramResult run = Run(UpdateArgs("3", "demo", {"-q"}));
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(reader.Image(), AsSimRecords(image));
  EXPECT_THAT(run.out, Not(HasSubstr("Line:")));
  EXPECT_THAT(run.out, Not(HasSubstr("Initializing")));
  EXPECT_THAT(run.out, Not(HasSubstr("Reader on COM 3")));
  EXPECT_THAT(run.out, Not(HasSubstr("in progress")));
  EXPECT_EQ(Lines(run.out).front(), "Reader firmware on COM 3 successfully updated.") << run.out;
  EXPECT_EQ(run.err, "");

  // A failure still says what failed.
  const test::ProgramResult missing = Run(UpdateArgs("7", "demo", {"-q"}));
  EXPECT_EQ(missing.exit_status, 3);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err, "");
}

TEST_F(CliDiagnosisTest, DevicePathAndComNumberGiveTheSameInfo) {
  StartReader(3);
  // A stable name as udev makes them: a link in a by-id folder to the port's device.
  const std::string by_id = dir_.Join("by-id");
  mkdir(by_id.c_str(), 0755);
  const std::string stable = by_id + "/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
  ASSERT_EQ(symlink((port_dir_ + "/COM3").c_str(), stable.c_str()), 0);

  const test::ProgramResult by_number = Run({"--json", "info", "--port", "3"});
  const test::ProgramResult by_path = Run({"--json", "info", "--port", stable});
  ASSERT_EQ(by_number.exit_status, 0) << by_number.err;
  ASSERT_EQ(by_path.exit_status, 0) << by_path.err;
  const nlohmann::json number_info = EventNamed(JsonEvents(by_number.out), "info");
  const nlohmann::json path_info = EventNamed(JsonEvents(by_path.out), "info");
  EXPECT_EQ(path_info["port"], 3);
  EXPECT_EQ(path_info, number_info);

  // A path that leads nowhere names the device and its reason, before anything is opened.
  const test::ProgramResult nowhere = Run({"--json", "info", "--port", by_id + "/gone"});
  EXPECT_EQ(nowhere.exit_status, 3);
  const nlohmann::json outcome = EventNamed(JsonEvents(nowhere.out), "outcome");
  EXPECT_EQ(outcome["reason"], "no-device");
  EXPECT_EQ(outcome["errno"], ENOENT);
  EXPECT_THAT(nowhere.err, HasSubstr(by_id + "/gone is no COM port"));

  // Not a path and not a number: a usage error.
  EXPECT_EQ(Run({"info", "--port", "ttyUSB0"}).exit_status, 2);
}

TEST_F(CliDiagnosisTest, APortHeldByAnotherProgramGivesTheInUseLine) {
  sim::ReaderSimulator& reader = StartReader(3);
  const int holder = ::open(reader.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

  const test::ProgramResult run = Run({"--json", "info", "--port", "3"});
  ::close(holder);
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_THAT(run.err, HasSubstr("Cause: " + port_dir_ + "/COM3 is in use by another program"));
  EXPECT_THAT(run.err, HasSubstr("Remedy: close that program"));
  const nlohmann::json outcome = EventNamed(JsonEvents(run.out), "outcome");
  EXPECT_EQ(outcome["reason"], "in-use");
  EXPECT_EQ(outcome["errno"], EWOULDBLOCK);
  EXPECT_EQ(outcome["port"], 3);
  EXPECT_EQ(reader.Requests().size(), 0u);
}

TEST_F(CliDiagnosisTest, APortTheUserMayNotOpenGivesTheDialoutLine) {
  sim::ReaderSimulator& reader = StartReader(3);
  std::vector<std::string> argv;
  if (::geteuid() == 0) {
    // The simulator's pty belongs to root (mode 0620, group tty): an ordinary user, as
    // technicians are before they join dialout, may not open it.
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "running as root and there is no user nobody to run as";
    ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
    argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
            "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups", ProgramPath()};
  } else {
    if (::access(reader.SlavePath().c_str(), R_OK | W_OK) == 0) {
      GTEST_SKIP() << "not root, and this user may open the simulator's pty: no user to run "
                      "as that lacks the permission";
    }
    argv = {ProgramPath()};
  }
  for (const char* arg : {"--json", "info", "--port", "3"}) argv.push_back(arg);
  const test::ProgramResult run = test::RunProgram(argv, Environment(), 60);
  EXPECT_EQ(run.exit_status, 3) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Cause: permission denied on " + port_dir_ + "/COM3 (errno 13)"));
  EXPECT_THAT(run.err, HasSubstr("sudo usermod -aG dialout $USER"));
  EXPECT_THAT(run.err, HasSubstr("log out and in again"));
  const nlohmann::json outcome = EventNamed(JsonEvents(run.out), "outcome");
  EXPECT_EQ(outcome["reason"], "permission-denied");
  EXPECT_EQ(outcome["errno"], EACCES);
  EXPECT_EQ(reader.Requests().size(), 0u);
}

TEST_F(CliDiagnosisTest, APortPublishedTwoSecondsLaterIsWaitedForAndUpdated) {
  const auto image = WriteImage("demo", SmallImage(10));
  sim::ReaderSimOptions options;
  options.version_after_download = 0x0A04F109;
  std::thread publisher([this, options] {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    StartReader(3, options);
  });
  const auto started = std::chrono::steady_clock::now();
  const test::ProgramResult run = Run(UpdateArgs("3", "demo", {"--json", "--wait=20"}));
  const auto took = std::chrono::steady_clock::now() - started;
  publisher.join();

  ASSERT_EQ(run.exit_status, 0) << run.err;
  ASSERT_EQ(readers_.size(), 1u);
  EXPECT_EQ(readers_.front()->Image(), AsSimRecords(image));
  EXPECT_GE(took, std::chrono::seconds(2));
  const std::vector<nlohmann::json> events = JsonEvents(run.out);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front()["event"], "message");
  EXPECT_EQ(events.front()["text"], "Waiting up to 20 seconds for COM 3 to appear...");
  const nlohmann::json outcome = EventNamed(events, "outcome");
  EXPECT_EQ(outcome["status"], 0);
  EXPECT_EQ(outcome["version_after"], "4.241.9");
  EXPECT_THAT(outcome["text"].get<std::string>(),
              HasSubstr("Reader version after the update: 4.241.9"));
}

TEST_F(CliDiagnosisTest, WaitingRunsOutWithNothingSent) {
  // A reader on another port is not the one asked for, and hears nothing.
  sim::ReaderSimulator& other = StartReader(4);
  WriteImage("demo", SmallImage(4));
  const test::ProgramResult run = Run(UpdateArgs("3", "demo", {"--wait=1"}));
  EXPECT_EQ(run.exit_status, 4) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Waiting up to 1 seconds for COM 3 to appear..."));
  EXPECT_THAT(run.err, HasSubstr("COM 3 did not appear within 1 seconds. Nothing was sent."));
  EXPECT_EQ(other.Requests().size(), 0u);

  // info waits the same way; JSON names the reason.
  const test::ProgramResult info = Run({"--json", "info", "--port", "9", "--wait=1"});
  EXPECT_EQ(info.exit_status, 4);
  const nlohmann::json outcome = EventNamed(JsonEvents(info.out), "outcome");
  EXPECT_EQ(outcome["reason"], "timeout");
  EXPECT_EQ(outcome["port"], 9);
  EXPECT_EQ(outcome["waited"], 1);
}

TEST_F(CliDiagnosisTest, ReaderThatStaysSilentAfterTheUpdateEndsOnTheTimeOut) {
  // A recover run asks the reader nothing before the records, so the first version query is
  // the one after the update; it goes unanswered for longer than the wait.
  sim::ReaderSimOptions options;
  options.start_in_download_mode = true;
  sim::ReaderSimulator& reader = StartReader(3, options);
  reader.SetReplyOverride(0x11, {});
  const auto image = WriteImage("demo", SmallImage(4));
  const test::ProgramResult run =
      Run(UpdateArgs("3", "demo", {"--json", "--recover", "--tag-types", "none", "--wait=1"}));
  EXPECT_EQ(reader.Image(), AsSimRecords(image));
  EXPECT_EQ(run.exit_status, 4) << run.err;
  EXPECT_THAT(run.err, HasSubstr("successfully updated"));
  EXPECT_THAT(run.err, HasSubstr("The reader on COM 3 did not answer within 1 seconds after "
                                 "the update."));
  const nlohmann::json outcome = EventNamed(JsonEvents(run.out), "outcome");
  EXPECT_EQ(outcome["reason"], "timeout");
  EXPECT_FALSE(outcome.contains("version_after"));
}

TEST_F(CliDiagnosisTest, SkipIfCurrentSendsNothingToAReaderThatHasTheImage) {
  sim::ReaderSimulator& reader = StartReader(3);
  WriteImage("demo42418", SmallImage(4));
  const test::ProgramResult run =
      Run(UpdateArgs("3", "demo42418", {"--json", "--skip-if-current"}));
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(reader.RequestCount(kEnterDownload), 0u);
  EXPECT_EQ(reader.RequestCount(kResetConfiguration), 0u);
  EXPECT_TRUE(reader.Image().empty());
  const nlohmann::json outcome = EventNamed(JsonEvents(run.out), "outcome");
  EXPECT_EQ(outcome["skipped"], true);
  EXPECT_EQ(outcome["kind"], "success");
  EXPECT_EQ(outcome["port"], 3);
  EXPECT_THAT(outcome["text"].get<std::string>(), HasSubstr("already updated"));

  // Without the option the same image is loaded as always.
  const test::ProgramResult again = Run(UpdateArgs("3", "demo42418", {"--tag-types", "none"}));
  EXPECT_EQ(again.exit_status, 0) << again.err;
  EXPECT_EQ(reader.RequestCount(kEnterDownload), 1u);
}

TEST_F(CliDiagnosisTest, SkipIfCurrentUpdatesAReaderWithAnotherVersion) {
  sim::ReaderSimulator& reader = StartReader(3);
  const auto image = WriteImage("demo42417", SmallImage(4));
  const test::ProgramResult run =
      Run(UpdateArgs("3", "demo42417", {"--json", "--skip-if-current"}));
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(reader.Image(), AsSimRecords(image));
  // The reset of the configuration after the update is the default one, as without the option.
  EXPECT_EQ(reader.RequestCount(kResetConfiguration), 1u);
  EXPECT_FALSE(EventNamed(JsonEvents(run.out), "outcome").contains("skipped"));
}

}  // namespace
}  // namespace flashwright::cli_test
