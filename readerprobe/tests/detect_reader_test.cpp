// DetectReader called as an installer calls it: the real readerprobe.so loaded with dlopen,
// the maker's USB reader in a fake sysfs tree, a simulated reader on a pty behind its port.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "reader_link/commands.h"
#include "reader_link/transport.h"
#include "readerprobe/probe_stack.h"
#include "tools/fake_sysfs/fake_sysfs.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"

namespace flashwright {
namespace {

using probe::stack_t;
using sim::ReaderSimOptions;
using sim::ReaderSimulator;
using test::FakeUsbDevice;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const FakeUsbDevice kReaderDevice{"1-3", 0x7E51, 0x032A, 0x0400, "RFID Reader"};
constexpr const char* kReaderDriver = "rfidser";

probe::DetectReaderFunction LoadDetectReader() {
  static void* module = ::dlopen(READERPROBE_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<probe::DetectReaderFunction>(::dlsym(module, "DetectReader"));
}

int OpenFileCount() {
  int count = 0;
  DIR* dir = ::opendir("/proc/self/fd");
  while (dir != nullptr && ::readdir(dir) != nullptr) ++count;
  if (dir != nullptr) ::closedir(dir);
  return count;
}

// The pushed texts in push order (the host pops them in reverse), the stack freed.
std::vector<std::string> TakePushes(stack_t** top) {
  std::vector<std::string> texts;
  while (*top != nullptr) {
    stack_t* entry = *top;
    *top = entry->next;
    texts.insert(texts.begin(), entry->text);
    std::free(entry);
  }
  return texts;
}

class DetectReaderTest : public ::testing::Test {
 protected:
  DetectReaderTest()
      : sysfs_(sysfs_dir_.path()), sysfs_env_("FLASHWRIGHT_SYSFS", sysfs_dir_.path().c_str()) {
    std::filesystem::create_directories(ports_.path() + "/dev");
  }

  void SetUp() override {
    detect_ = LoadDetectReader();
    ASSERT_NE(detect_, nullptr) << ::dlerror();
    files_before_ = OpenFileCount();
  }

  void TearDown() override {
    EXPECT_EQ(OpenFileCount(), files_before_) << "a call left a descriptor open";
  }

  // The maker's reader with its driver bound and its serial port as `tty`.
  void AddReaderDevice(const std::string& tty = "ttyUSB0") {
    sysfs_.AddSerialAdapter(kReaderDevice, kReaderDriver, tty);
  }

  // A simulated reader answering on COM<com>, which names `tty`.
  void StartReader(ReaderSimulator* reader, unsigned com, const std::string& tty = "ttyUSB0") {
    ASSERT_TRUE(reader->Start(ports_.path(), com, ports_.path() + "/dev/" + tty));
  }

  std::vector<std::string> Detect(int string_size = 1024) {
    stack_t* top = nullptr;
    detect_(nullptr, string_size, nullptr, &top, nullptr);
    return TakePushes(&top);
  }

  test::TempDir sysfs_dir_;
  test::FakeSysfs sysfs_;
  test::ScopedEnv sysfs_env_;
  test::ScopedPortDir ports_;
  probe::DetectReaderFunction detect_ = nullptr;
  int files_before_ = 0;
};

TEST_F(DetectReaderTest, NoReaderPushesNoDevice) {
  FakeUsbDevice ft232{"1-2", 0x0403, 0x6001, 0x0600, "FT232R USB UART"};
  sysfs_.AddSerialAdapter(ft232, "ftdi_sio", "ttyUSB1");
  // A device of the maker with another release is not the reader either.
  FakeUsbDevice other_release = kReaderDevice;
  other_release.name = "1-4";
  other_release.release = 0x0500;
  sysfs_.AddSerialAdapter(other_release, kReaderDriver, "ttyUSB2");

  stack_t* top = nullptr;
  detect_(nullptr, 1024, nullptr, &top, nullptr);
  // The host pops the version number first and the device search result last.
  ASSERT_NE(top, nullptr);
  EXPECT_STREQ(top->text, "0");
  ASSERT_NE(top->next, nullptr);
  EXPECT_STREQ(top->next->text, "NA");
  EXPECT_THAT(TakePushes(&top), ElementsAre("0", "0", "No device!", "NA", "0"));
}

TEST_F(DetectReaderTest, PushesGoOnTopOfWhatTheHostHasOnItsStack) {
  auto* mine = static_cast<stack_t*>(std::calloc(1, sizeof(stack_t) + 1024));
  std::strcpy(mine->text, "host value");
  stack_t* top = mine;
  detect_(nullptr, 1024, nullptr, &top, nullptr);
  EXPECT_THAT(TakePushes(&top), ElementsAre("host value", "0", "0", "No device!", "NA", "0"));
}

TEST_F(DetectReaderTest, AFailedDeviceSearchIsReportedInTheFirstValue) {
  // -4: the reader is there but no driver is bound to it, so it has no service.
  FakeUsbDevice unbound = kReaderDevice;
  sysfs_.AddUsbDevice(unbound);
  sysfs_.AddInterface(unbound.name, 0, "");
  EXPECT_THAT(Detect(), ElementsAre("-4", "0", "No device!", "NA", "0"));

  // -5: the device list breaks off before the reader ("1-1" sorts before "1-3").
  sysfs_.WriteFile("bus/usb/devices/1-1", "not a device");
  EXPECT_THAT(Detect(), ElementsAre("-5", "0", "No device!", "NA", "0"));

  // -3: there is no device list to read.
  sysfs_.Remove("bus/usb/devices");
  sysfs_.WriteFile("bus/usb/devices", "garbage");
  EXPECT_THAT(Detect(), ElementsAre("-3", "0", "No device!", "NA", "0"));
}

TEST_F(DetectReaderTest, AReaderWithoutAPortNodePushesNoPort) {
  sysfs_.AddUsbDevice(kReaderDevice);
  sysfs_.AddInterface(kReaderDevice.name, 0, kReaderDriver);
  EXPECT_THAT(Detect(), ElementsAre("1", "0", "No port!", "NA", "0"));
}

TEST_F(DetectReaderTest, AFriendlyNameWithoutANumberPushesNoVersion) {
  // The reader's tty has no COM number: its friendly name is the product text alone.
  AddReaderDevice();
  EXPECT_THAT(Detect(), ElementsAre("1", "0", "No version!", "NA", "0"));
}

TEST_F(DetectReaderTest, AProductTextWithBracketsStillGivesNoVersion) {
  FakeUsbDevice odd = kReaderDevice;
  odd.product = "Reader (COM)";
  sysfs_.AddSerialAdapter(odd, kReaderDriver, "ttyUSB0");
  std::filesystem::create_symlink(ports_.path() + "/dev/ttyUSB0", ports_.path() + "/COM7");
  EXPECT_THAT(Detect(), ElementsAre("1", "0", "No version!", "NA", "0"));
}

TEST_F(DetectReaderTest, ANumberBeyondThePortRangeDoesNotWrapToAnotherPort) {
  // The first bracket pair of the friendly name holds 65539, which a 16-bit port number would
  // take for COM3.
  FakeUsbDevice odd = kReaderDevice;
  odd.product = "Reader (COM65539)";
  sysfs_.AddSerialAdapter(odd, kReaderDriver, "ttyUSB0");
  ReaderSimulator reader;
  StartReader(&reader, 3);
  EXPECT_THAT(Detect(), ElementsAre("1", "65539", "(no reader)", "NA", "0"));
  EXPECT_EQ(reader.RequestCount(0x11), 0u);
}

TEST_F(DetectReaderTest, APortWithoutAReaderPushesNoReader) {
  AddReaderDevice();
  // COM7 names the tty, but nothing can be opened behind it.
  std::filesystem::create_symlink(ports_.path() + "/dev/ttyUSB0", ports_.path() + "/COM7");
  EXPECT_THAT(Detect(), ElementsAre("1", "7", "(no reader)", "NA", "0"));
}

TEST_F(DetectReaderTest, ASilentReaderPushesNoReader) {
  AddReaderDevice();
  ReaderSimulator reader;
  StartReader(&reader, 7);
  reader.SetFault(sim::SimFault::NoAnswer);
  EXPECT_THAT(Detect(), ElementsAre("1", "7", "(no reader)", "NA", "0"));
  EXPECT_EQ(reader.RequestCount(0x11), 1u);
}

TEST_F(DetectReaderTest, AnOldReaderGivesItsVersionAndNoPower) {
  AddReaderDevice();
  ReaderSimOptions options;
  options.version = 0x0A020105;
  ReaderSimulator reader(options);
  StartReader(&reader, 7);
  EXPECT_THAT(Detect(), ElementsAre("1", "7", "2.1.5\r\nBootloader:unknown\r\nPlatform:520/530",
                                    "NA", "215"));
  EXPECT_EQ(reader.RequestCount(0x12), 0u) << "a reader below 3.0.0 is not asked for power";
}

TEST_F(DetectReaderTest, ACurrentReaderGivesVersionBootloaderPlatformAndPower) {
  AddReaderDevice();
  ReaderSimOptions options;
  options.version = 0x0A04F108;
  options.bootloader = 0x0203;
  options.capability = 0x01;
  options.platform = 1;
  options.power_class = 2;
  options.power_level = 4;
  ReaderSimulator reader(options);
  StartReader(&reader, 12);
  EXPECT_THAT(Detect(),
              ElementsAre("1", "12", "4.241.8*\r\nBootloader:2.03\r\nPlatform:Desklet", "400mW",
                          "42418"));
}

TEST_F(DetectReaderTest, PowerTextsForEveryClassAndLevel) {
  AddReaderDevice();
  ReaderSimOptions options;
  options.version = 0x0A030000;  // the first version with the power queries
  ReaderSimulator reader(options);
  StartReader(&reader, 7);
  struct Case {
    std::uint8_t power_class, level;
    const char* text;
  } cases[] = {
      {1, 1, "1W"},    {1, 2, "200mW"}, {1, 4, "400mW"}, {1, 10, "100mW"}, {1, 7, "(L 7)"},
      {2, 1, "1W"},    {2, 2, "200mW"}, {2, 4, "400mW"}, {2, 10, "100mW"}, {2, 0, "(L 0)"},
      {4, 1, "4W"},    {10, 1, "10W"},  {3, 1, "(R 3)"}, {0, 1, "(R 0)"},  {255, 1, "(R 255)"},
  };
  for (const Case& c : cases) {
    options.power_class = c.power_class;
    options.power_level = c.level;
    reader.SetOptions(options);
    std::vector<std::string> pushes = Detect();
    ASSERT_EQ(pushes.size(), 5u);
    EXPECT_EQ(pushes[3], c.text) << "class " << int{c.power_class} << " level " << int{c.level};
    EXPECT_EQ(pushes[4], "300");
  }
  // A reader that refuses the range query counts as class 1; one that refuses the level query
  // reports the error.
  options.power_class = 4;
  options.power_level = 2;
  reader.SetOptions(options);
  reader.SetCommandStatus(0x12, 5);
  EXPECT_EQ(Detect()[3], "200mW");
  reader.SetCommandStatus(0x3E, 5);
  EXPECT_EQ(Detect()[3], "(err -37)");
}

TEST_F(DetectReaderTest, AStringSizeOf16TruncatesEveryTextTo15Characters) {
  AddReaderDevice();
  ReaderSimOptions options;
  options.version = 0x0A04F108;
  options.power_class = 1;
  options.power_level = 2;
  ReaderSimulator reader(options);
  StartReader(&reader, 7);
  const std::vector<std::string> full = Detect(1024);
  ASSERT_EQ(full.size(), 5u);
  ASSERT_GT(full[2].size(), 15u);
  std::vector<std::string> truncated;
  for (const std::string& text : full) truncated.push_back(text.substr(0, 15));
  EXPECT_THAT(Detect(16), ElementsAreArray(truncated));
  EXPECT_THAT(Detect(2), ElementsAre("1", "7", "4", "2", "4"));
}

TEST_F(DetectReaderTest, NoStackPushesNothingAndNoRoomPushesNothing) {
  AddReaderDevice();
  ReaderSimulator reader;
  StartReader(&reader, 7);
  detect_(nullptr, 1024, nullptr, nullptr, nullptr);
  stack_t* top = nullptr;
  detect_(nullptr, 0, nullptr, &top, nullptr);
  detect_(nullptr, -5, nullptr, &top, nullptr);
  EXPECT_EQ(top, nullptr);
  // The next call works as ever.
  EXPECT_EQ(Detect().size(), 5u);
}

TEST_F(DetectReaderTest, NothingIsLeftOpenAndThePortOpensAgain) {
  AddReaderDevice();
  ReaderSimulator reader;
  StartReader(&reader, 7);
  const int before = OpenFileCount();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Detect().size(), 5u);
  EXPECT_EQ(OpenFileCount(), before);
  // An exclusive open of the port succeeds at once.
  EXPECT_EQ(OpenReaderPort(7), 0);
  CloseReaderPort();
}

TEST_F(DetectReaderTest, TheModuleHasItsOwnReaderPort) {
  AddReaderDevice();
  ReaderSimulator reader;
  StartReader(&reader, 7);
  ReaderSimulator other;
  ASSERT_TRUE(other.Start(ports_.path(), 9));
  // This program's reader link holds COM9 open; the module's link is another copy.
  ASSERT_EQ(OpenReaderPort(9), 0);
  std::vector<std::string> pushes = Detect();
  ASSERT_EQ(pushes.size(), 5u);
  EXPECT_EQ(pushes[2].substr(0, 7), "4.241.8");
  std::uint32_t version = 0;
  EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), 0);
  EXPECT_EQ(version, 0x0A04F108u);
  CloseReaderPort();
}

TEST_F(DetectReaderTest, ABusyPortPushesNoReader) {
  AddReaderDevice();
  ReaderSimulator reader;
  StartReader(&reader, 7);
  int holder = ::open(reader.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  EXPECT_THAT(Detect(), ElementsAre("1", "7", "(no reader)", "NA", "0"));
  EXPECT_EQ(reader.RequestCount(0x11), 0u);
  ::close(holder);
}

TEST(ReaderprobeModuleTest, DetectReaderIsTheOnlyExport) {
  test::ProgramResult nm = test::RunProgram({"/usr/bin/nm", "-D", "--defined-only", READERPROBE_MODULE});
  ASSERT_EQ(nm.exit_status, 0) << nm.err;
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < nm.out.size()) {
    std::size_t end = nm.out.find('\n', start);
    if (end == std::string::npos) end = nm.out.size();
    std::string line = nm.out.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    names.push_back(line.substr(line.rfind(' ') + 1));
  }
  EXPECT_THAT(names, ElementsAre("DetectReader"));
}

TEST(ReaderprobeHostTest, PrintsTheFiveResultsInPopOrder) {
  test::TempDir sysfs_dir;
  test::FakeSysfs sysfs(sysfs_dir.path());
  test::ScopedPortDir ports;
  sysfs.AddSerialAdapter(kReaderDevice, kReaderDriver, "ttyUSB0");
  std::filesystem::create_directories(ports.path() + "/dev");
  ReaderSimOptions options;
  options.power_class = 10;
  ReaderSimulator reader(options);
  ASSERT_TRUE(reader.Start(ports.path(), 7, ports.path() + "/dev/ttyUSB0"));
  const std::vector<std::string> env{"FLASHWRIGHT_SYSFS=" + sysfs_dir.path(),
                                     "FLASHWRIGHT_PORT_DIR=" + ports.path()};
  test::ProgramResult run = test::RunProgram({READERPROBE_HOST, READERPROBE_MODULE}, env);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out,
            "pop 1 (version number): 42418\n"
            "pop 2 (power text): 10W\n"
            "pop 3 (version text): 4.241.8*\\r\\nBootloader:2.03\\r\\nPlatform:520/530\n"
            "pop 4 (COM port): 7\n"
            "pop 5 (device search): 1\n");

  // Without a path it loads the module of its own build.
  EXPECT_EQ(test::RunProgram({READERPROBE_HOST}, env).out, run.out);

  run = test::RunProgram({READERPROBE_HOST, "--string-size", "4", READERPROBE_MODULE}, env);
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_THAT(run.out, ::testing::HasSubstr("pop 3 (version text): 4.2\n"));

  run = test::RunProgram({READERPROBE_HOST, "--string-size", "0"}, env);
  EXPECT_EQ(run.exit_status, 2);
  run = test::RunProgram({READERPROBE_HOST, sysfs_dir.path() + "/missing.so"}, env);
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_THAT(run.err, ::testing::HasSubstr("cannot load"));
}

}  // namespace
}  // namespace flashwright
