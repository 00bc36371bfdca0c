// flashwright-cli usb end to end: the command-line program with simulated EZ-USB devices
// (flashwright-cli-usbsim), whose EEPROMs live in files that the tests fill before a run and
// read after it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/cli/tests/usb_test_image.h"
#include "tools/test_support/test_support.h"

namespace flashwright::cli_test {
namespace {

constexpr std::size_t kEepromSize = 65536;
constexpr char kUpdated[] =
    "Firmware on %s successfully updated. Detach USB cable, reset power on device, and then "
    "re-attach USB cable.";
constexpr char kNotCompatible[] = "Device is not compatible with firmware file.";
constexpr char kResponseError[] = "Response error. Device may not support firmware update.";
constexpr char kMayNotWork[] = "This firmware may not work on this device.";
constexpr char kAreYouSure[] = "Are you sure you want to update?";
constexpr char kAbsolutelySure[] = "Are you absolutely sure you want to update?";

std::string WithName(const char* format, const std::string& name) {
  std::string text = format;
  text.replace(text.find("%s"), 2, name);
  return text;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  const std::string text = test::ReadFile(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  ASSERT_TRUE(test::WriteFile(path, std::string(bytes.begin(), bytes.end()))) << path;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> events;
  std::istringstream stream(out);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty()) events.push_back(nlohmann::json::parse(line));
  }
  return events;
}

struct SimDevice {
  std::string driver = "cyusb";
  int index = 0;
  std::uint16_t vendor_id = 0x04B4;
  std::uint16_t product_id = 0x8613;
  std::uint8_t first_byte = 0xC2;
  std::string product = "Orvane Folio Systems Gate 1.2.3.4";
  std::vector<std::string> settings;  // further lines of the description ("write-protect-from 300")
};

class CliUsbTest : public ::testing::Test {
 protected:
  CliUsbTest() : firmware_dir_(dir_.Join("ezusb_fw")) { mkdir(firmware_dir_.c_str(), 0755); }

  // Adds a device whose EEPROM holds the "old firmware": its first byte, then a pattern.
  void AddDevice(const SimDevice& device) {
    devices_.push_back(device);
    WriteBytes(EepromPath(device), OldEeprom(device));
  }

  std::string EepromPath(const SimDevice& device) const {
    return dir_.Join("eeprom-" + device.driver + "-" + std::to_string(device.index) + ".bin");
  }
  std::string CountersPath(const SimDevice& device) const {
    return dir_.Join("counters-" + device.driver + "-" + std::to_string(device.index) + ".txt");
  }

  static std::vector<std::uint8_t> OldEeprom(const SimDevice& device) {
    std::vector<std::uint8_t> eeprom(kEepromSize);
    for (std::size_t i = 0; i < eeprom.size(); ++i) {
      eeprom[i] = static_cast<std::uint8_t>((i * 13 + (i >> 9) + device.index) & 0xFF);
    }
    eeprom[0] = device.first_byte;
    return eeprom;
  }

  std::vector<std::uint8_t> Eeprom(std::size_t which = 0) const {
    return ReadBytes(EepromPath(devices_.at(which)));
  }

  std::map<std::string, std::uint32_t> Counters(std::size_t which = 0) const {
    std::map<std::string, std::uint32_t> counters;
    std::istringstream stream(test::ReadFile(CountersPath(devices_.at(which))));
    std::string name;
    std::uint32_t value = 0;
    while (stream >> name >> value) counters[name] = value;
    return counters;
  }

  std::vector<std::uint8_t> WriteImage(const std::string& name, const UsbImageProfile& profile = {}) {
    std::vector<std::uint8_t> image = BuildUsbImage(profile);
    WriteBytes(firmware_dir_ + "/" + name + ".bin", image);
    return image;
  }

  void WriteDescription() const {
    std::string text;
    char ids[64];
    for (const SimDevice& device : devices_) {
      std::snprintf(ids, sizeof ids, "vendor-id %04x\nproduct-id %04x\nfirst-byte %02x\n",
                    device.vendor_id, device.product_id, device.first_byte);
      text += "device " + device.driver + " " + std::to_string(device.index) + "\n";
      text += ids;
      text += "product " + device.product + "\n";
      text += "eeprom " + EepromPath(device) + "\n";
      text += "counters " + CountersPath(device) + "\n";
      for (const std::string& setting : device.settings) text += setting + "\n";
    }
    ASSERT_TRUE(test::WriteFile(dir_.Join("devices.txt"), text));
  }

  // Backs device 0, with the simulator's `settings`, up into the test folder, and checks that
  // the backup fails and leaves no file behind, neither the backup nor a part of it.
  test::ProgramResult FailingBackup(const std::vector<std::string>& settings) {
    SimDevice device;
    device.settings = settings;
    AddDevice(device);
    const std::string backup = dir_.Join("backup.bin");
    const test::ProgramResult result = Run({"usb", "backup", "--device", "0", "--output", backup});
    EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      EXPECT_EQ(entry.path().filename().string().rfind("backup", 0), std::string::npos)
          << entry.path() << " was left behind";
    }
    return result;
  }

  // Runs flashwright-cli-usbsim with `args`; `answers` becomes its standard input.
  test::ProgramResult Run(const std::vector<std::string>& args,
                          const std::optional<std::string>& answers = std::nullopt) {
    WriteDescription();
    std::vector<std::string> argv{FLASHWRIGHT_CLI_USBSIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::vector<std::string> environment{"FLASHWRIGHT_USBSIM=" + dir_.Join("devices.txt"),
                                               "HOME=" + dir_.path()};
    std::string input;
    if (answers) {
      input = dir_.Join("answers.txt");
      EXPECT_TRUE(test::WriteFile(input, *answers));
    }
    return test::RunProgramWithInput(argv, input, environment, 60);
  }

  // Starts flashwright-cli-usbsim with `args` and leaves it running, its output read as it comes.
  std::unique_ptr<test::RunningProgram> Start(const std::vector<std::string>& args) {
    WriteDescription();
    std::vector<std::string> argv{FLASHWRIGHT_CLI_USBSIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    auto program = std::make_unique<test::RunningProgram>();
    EXPECT_TRUE(program->Start(argv, {"FLASHWRIGHT_USBSIM=" + dir_.Join("devices.txt"),
                                      "HOME=" + dir_.path()}));
    return program;
  }

  std::vector<std::string> UpdateArgs(const std::string& name,
                                      std::vector<std::string> extra = {}) const {
    std::vector<std::string> args{"usb", "update", "--device", "0", "--firmware", name,
                                  "--firmware-dir", firmware_dir_};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  // The device's EEPROM is the image followed by what was there before.
  void ExpectImageWritten(const std::vector<std::uint8_t>& image, std::size_t which = 0) const {
    std::vector<std::uint8_t> expected = OldEeprom(devices_.at(which));
    std::copy(image.begin(), image.end(), expected.begin());
    EXPECT_EQ(Eeprom(which), expected);
  }
  void ExpectUntouched(std::size_t which = 0) const {
    EXPECT_EQ(Eeprom(which), OldEeprom(devices_.at(which)));
    EXPECT_EQ(Counters(which)["eeprom_writes"], 0u);
  }

  test::TempDir dir_;
  std::string firmware_dir_;
  std::vector<SimDevice> devices_;
};

// ---- usb list and usb info

TEST_F(CliUsbTest, ListsEveryDeviceWithNameIdsFirstByteAndProductString) {
  AddDevice({});
  SimDevice second;
  second.index = 1;
  second.product_id = 0x1004;
  second.first_byte = 0xC0;
  second.product = "Orvane Sentry Systems Pad 2.0";
  AddDevice(second);

  const test::ProgramResult result = Run({"usb", "list"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;
  for (const std::string part : {"Cyusb-0", "04B4", "8613", "C2", "Orvane Folio Systems Gate 1.2.3.4"}) {
    EXPECT_TRUE(Contains(lines[0], part)) << lines[0] << " lacks " << part;
  }
  for (const std::string part : {"Cyusb-1", "04B4", "1004", "C0", "Orvane Sentry Systems Pad 2.0"}) {
    EXPECT_TRUE(Contains(lines[1], part)) << lines[1] << " lacks " << part;
  }

  const test::ProgramResult json = Run({"--json", "usb", "list"});
  ASSERT_EQ(json.exit_status, 0) << json.err;
  const std::vector<nlohmann::json> events = JsonLines(json.out);
  ASSERT_EQ(events.size(), 3u) << json.out;
  EXPECT_EQ(events[1]["device"], 1);
  EXPECT_EQ(events[1]["first_byte"], 0xC0);
  EXPECT_EQ(events[1]["product"], "Orvane Sentry Systems Pad 2.0");
  EXPECT_EQ(events[2]["event"], "outcome");
  EXPECT_EQ(events[2]["status"], 0);
}

TEST_F(CliUsbTest, ABusPathPicksTheSameDeviceAfterAnotherOneHasGone) {
  SimDevice first;
  first.settings = {"bus-path 1-2"};
  AddDevice(first);
  SimDevice second;
  second.index = 1;
  second.product = "Orvane Folio Systems Gate 2.0.0.0";
  second.settings = {"bus-path 1-3.2"};
  AddDevice(second);

  // The list shows where each device is plugged in.
  const test::ProgramResult list = Run({"usb", "list"});
  ASSERT_EQ(list.exit_status, 0) << list.err;
  const std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 2u) << list.out;
  EXPECT_EQ(lines[0].rfind("Cyusb-0 at 1-2  04B4:8613", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("Cyusb-1 at 1-3.2  04B4:8613", 0), 0u) << lines[1];
  const std::vector<nlohmann::json> listed = JsonLines(Run({"--json", "usb", "list"}).out);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[1]["bus_path"], "1-3.2");

  // By its bus path the second device is written, and only it.
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  const test::ProgramResult update = Run({"usb", "update", "--device", "1-3.2", "--firmware",
                                          "Gate", "--firmware-dir", firmware_dir_});
  ASSERT_EQ(update.exit_status, 0) << update.out << update.err;
  EXPECT_TRUE(Contains(update.out, WithName(kUpdated, "Cyusb-1"))) << update.out;
  ExpectImageWritten(image, 1);
  ExpectUntouched(0);

  // The first device goes: the second is device 0 now, and the bus path still finds it.
  devices_[0].settings.push_back("unplugged");
  const test::ProgramResult info = Run({"--json", "usb", "info", "--device", "1-3.2"});
  ASSERT_EQ(info.exit_status, 0) << info.out << info.err;
  const nlohmann::json outcome = JsonLines(info.out).back();
  EXPECT_EQ(outcome["device"], 0);
  EXPECT_EQ(outcome["name"], "Cyusb-0");
  EXPECT_EQ(outcome["bus_path"], "1-3.2");
  EXPECT_EQ(outcome["product"], "Orvane Folio Systems Gate 2.0.0.0");
  const test::ProgramResult shown = Run({"usb", "info", "--device", "1-3.2"});
  EXPECT_TRUE(Contains(shown.out, "Device: Cyusb-0\nBus path: 1-3.2\n")) << shown.out;
  const std::string backup = dir_.Join("backup.bin");
  const test::ProgramResult saved =
      Run({"usb", "backup", "--device", "1-3.2", "--output", backup});
  ASSERT_EQ(saved.exit_status, 0) << saved.out << saved.err;
  EXPECT_EQ(ReadBytes(backup), Eeprom(1));
  // Its old index leads nowhere now, and neither does the first device's bus path.
  EXPECT_EQ(Run({"usb", "info", "--device", "1"}).exit_status, 3);
  const test::ProgramResult gone = Run({"--json", "usb", "info", "--device", "1-2"});
  EXPECT_EQ(gone.exit_status, 3) << gone.err;
  EXPECT_TRUE(Contains(gone.err, "No USB device at 1-2.")) << gone.err;
  const nlohmann::json nowhere = JsonLines(gone.out).back();
  EXPECT_EQ(nowhere["bus_path"], "1-2");
  EXPECT_EQ(nowhere["reason"], "no-device");

  // Neither an index nor a bus path: a usage error.
  const test::ProgramResult bad = Run({"usb", "info", "--device", "1-3."});
  EXPECT_EQ(bad.exit_status, 2);
  EXPECT_TRUE(Contains(bad.err, "bus path such as 1-3.2")) << bad.err;
}

TEST_F(CliUsbTest, ListNamesDevicesOfTheLegacyDriverEzusb) {
  SimDevice legacy;
  legacy.driver = "legacy";
  legacy.index = 0;
  AddDevice(legacy);
  legacy.index = 3;
  AddDevice(legacy);
  const test::ProgramResult result = Run({"usb", "list"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;
  EXPECT_TRUE(Contains(lines[0], "Ezusb-0")) << lines[0];
  EXPECT_TRUE(Contains(lines[1], "Ezusb-3")) << lines[1];
}

TEST_F(CliUsbTest, AnEmptyListIsNotAnError) {
  const test::ProgramResult result = Run({"usb", "list"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(Contains(result.out,
                       "No USB devices found. Check USB and power cables or install driver."))
      << result.out;
}

TEST_F(CliUsbTest, InfoShowsTheDeviceInformationWithTheDriverVersion) {
  SimDevice device;
  device.product_id = 0x03AE;
  device.product = "Orvane Folio Systems Gate 7.0";
  AddDevice(device);
  const test::ProgramResult result = Run({"usb", "info", "--device", "0"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  for (const std::string part : {"Cyusb-0", "Orvane Folio Systems Gate 7.0", "04B4", "03AE", "C2"}) {
    EXPECT_TRUE(Contains(result.out, part)) << result.out << " lacks " << part;
  }
  // The simulated CyUSB driver has version 1.2.3 with revision 4.
  EXPECT_TRUE(Contains(result.out, "1.2.3.4")) << result.out;
  const test::ProgramResult cyusb = Run({"--json", "usb", "info", "--device", "0"});
  ASSERT_EQ(cyusb.exit_status, 0) << cyusb.err;
  EXPECT_EQ(JsonLines(cyusb.out).back()["driver"], "1.2.3");
  EXPECT_EQ(JsonLines(cyusb.out).back()["driver_revision"], 4);

  // The same through the legacy driver, whose version has no revision.
  devices_.clear();
  SimDevice legacy;
  legacy.driver = "legacy";
  AddDevice(legacy);
  const test::ProgramResult json = Run({"--json", "usb", "info", "--device", "0"});
  ASSERT_EQ(json.exit_status, 0) << json.err;
  const nlohmann::json outcome = JsonLines(json.out).back();
  EXPECT_EQ(outcome["name"], "Ezusb-0");
  EXPECT_EQ(outcome["driver"], "1.2.3");
  EXPECT_FALSE(outcome.contains("driver_revision")) << outcome.dump();
}

TEST_F(CliUsbTest, VeryVerboseTracesEveryDriverRequestAndOnlyThen) {
  AddDevice(SimDevice{});
  const test::ProgramResult quiet = Run({"usb", "info", "--device", "0"});
  ASSERT_EQ(quiet.exit_status, 0) << quiet.err;
  EXPECT_FALSE(Contains(quiet.err, "wire ")) << quiet.err;

  const test::ProgramResult traced = Run({"-vv", "usb", "info", "--device", "0"});
  ASSERT_EQ(traced.exit_status, 0) << traced.err;
  EXPECT_EQ(traced.out, quiet.out);
  std::vector<std::string> requests;
  for (const std::string& line : Lines(traced.err)) {
    if (!Contains(line, " ms usb ")) continue;
    const std::size_t code = line.find("code ");
    ASSERT_NE(code, std::string::npos) << line;
    requests.push_back(line.substr(code));
  }
  ASSERT_FALSE(requests.empty()) << traced.err;
  // The driver version: no setup bytes, 4 bytes asked and moved.
  bool driver_version = false;
  // The product string: a control transfer whose setup packet asks for string descriptor 2.
  bool product_string = false;
  for (const std::string& request : requests) {
    driver_version = driver_version || request.find("code 0x00220000 setup - asked 4 moved 4 "
                                                    "result 0") != std::string::npos;
    product_string = product_string || (request.rfind("code 0x00220020 setup 80 06 02 03", 0) == 0 &&
                                        Contains(request, "result 0"));
  }
  EXPECT_TRUE(driver_version) << traced.err;
  EXPECT_TRUE(product_string) << traced.err;

  // -v shows only the requests that failed: none here.
  const test::ProgramResult verbose = Run({"-v", "usb", "info", "--device", "0"});
  ASSERT_EQ(verbose.exit_status, 0) << verbose.err;
  EXPECT_FALSE(Contains(verbose.err, " ms usb ")) << verbose.err;
}

TEST_F(CliUsbTest, SkipIfCurrentWritesNothingToADeviceThatRunsTheImage) {
  // The rule compares the whole product string with the image's product text (the text after
  // the image's marker).
  SimDevice device;
  device.product = "Gate 1.2.3.5";
  AddDevice(device);
  const std::vector<std::uint8_t> image = WriteImage("Gate_1235");
  const test::ProgramResult skipped = Run(UpdateArgs("Gate_1235", {"--json", "--skip-if-current"}));
  ASSERT_EQ(skipped.exit_status, 0) << skipped.err;
  ExpectUntouched();
  const nlohmann::json outcome = JsonLines(skipped.out).back();
  EXPECT_EQ(outcome["text"], "Firmware on Cyusb-0 already updated.");
  EXPECT_EQ(outcome["skipped"], true);
  EXPECT_EQ(outcome["kind"], "success");

  // Without the option the image is written as always.
  const test::ProgramResult written = Run(UpdateArgs("Gate_1235"));
  ASSERT_EQ(written.exit_status, 0) << written.err;
  ExpectImageWritten(image);
}

TEST_F(CliUsbTest, SkipIfCurrentUpdatesADeviceWithAnotherProductString) {
  AddDevice(SimDevice{});  // Gate 1.2.3.4
  const std::vector<std::uint8_t> image = WriteImage("Gate_1235");
  const test::ProgramResult run = Run(UpdateArgs("Gate_1235", {"--json", "--skip-if-current"}));
  ASSERT_EQ(run.exit_status, 0) << run.err;
  ExpectImageWritten(image);
  EXPECT_FALSE(JsonLines(run.out).back().contains("skipped"));
}

TEST_F(CliUsbTest, ADeviceThatIsNotThereEndsWithStatus3) {
  AddDevice({});
  const test::ProgramResult info = Run({"usb", "info", "--device", "4"});
  EXPECT_EQ(info.exit_status, 3) << info.out << info.err;
  WriteImage("Gate");
  const test::ProgramResult update = Run(
      {"usb", "update", "--device", "4", "--firmware", "Gate", "--firmware-dir", firmware_dir_});
  EXPECT_EQ(update.exit_status, 3) << update.out << update.err;
  devices_.clear();
  const test::ProgramResult none = Run({"usb", "info", "--device", "0"});
  EXPECT_EQ(none.exit_status, 3);
  EXPECT_TRUE(Contains(none.err, "No USB devices found.")) << none.err;
}

TEST_F(CliUsbTest, ADeviceTheUserMayNotOpenGetsTheLineThatNamesTheUdevRule) {
  SimDevice device;
  device.settings = {"refuse-open", "bus-path 1-4"};
  AddDevice(device);
  WriteImage("Gate");
  const std::string cause =
      std::string("Cause: permission denied on USB device Cyusb-0 at 1-4 (errno 13). Remedy: the "
                  "udev rule ") +
      FLASHWRIGHT_USB_UDEV_RULE + " grants access to the user logged in at the machine";
  // The rule named is the one the package installs.
  const std::string rule = FLASHWRIGHT_USB_UDEV_RULE;
  EXPECT_TRUE(std::filesystem::exists(std::string(FLASHWRIGHT_SOURCE_DIR "/platform/posix/udev/") +
                                      rule.substr(rule.rfind('/') + 1)))
      << rule;

  // The design's message, then the cause and the remedy; nothing is written.
  const test::ProgramResult update = Run(UpdateArgs("Gate"));
  EXPECT_EQ(update.exit_status, 3) << update.out << update.err;
  EXPECT_TRUE(Contains(update.err, "No USB devices found. Check USB and power cables or install "
                                   "driver.\n" + cause))
      << update.err;
  EXPECT_TRUE(Contains(update.err, "sudo udevadm control --reload")) << update.err;
  ExpectUntouched();
  EXPECT_EQ(Counters()["opens"], 0u);

  // By its bus path the same, with the reason in the JSON outcome.
  const test::ProgramResult json = Run({"--json", "usb", "update", "--device", "1-4", "--firmware",
                                        "Gate", "--firmware-dir", firmware_dir_});
  EXPECT_EQ(json.exit_status, 3) << json.out << json.err;
  const nlohmann::json outcome = JsonLines(json.out).back();
  EXPECT_EQ(outcome["errno"], EACCES);
  EXPECT_EQ(outcome["reason"], "permission-denied");
  EXPECT_TRUE(Contains(outcome["text"].get<std::string>(), cause)) << outcome.dump();
  ExpectUntouched();

  // Waiting for it does not hide the reason: a device that is there but refuses gets a moment
  // to settle, then the same line.
  const test::ProgramResult waited = Run(UpdateArgs("Gate", {"--wait=20"}));
  EXPECT_EQ(waited.exit_status, 3) << waited.out << waited.err;
  EXPECT_TRUE(Contains(waited.err, cause)) << waited.err;
  EXPECT_FALSE(Contains(waited.out, "to appear")) << "the device is there: " << waited.out;
  ExpectUntouched();

  // The list is no failure, but it says why the device is missing.
  const test::ProgramResult list = Run({"--json", "usb", "list"});
  EXPECT_EQ(list.exit_status, 0) << list.err;
  const nlohmann::json listed = JsonLines(list.out).back();
  EXPECT_EQ(listed["devices"], 0);
  EXPECT_EQ(listed["reason"], "permission-denied");
  EXPECT_TRUE(Contains(listed["text"].get<std::string>(), cause)) << listed.dump();
}

TEST_F(CliUsbTest, ADeviceThatRefusesBehindAnOpenOneIsNamedAsTheReason) {
  AddDevice({});
  SimDevice refusing;
  refusing.index = 1;
  refusing.settings = {"refuse-open"};
  AddDevice(refusing);
  // The list ends at the device that refuses: the first one is listed, the second one named.
  const test::ProgramResult list = Run({"usb", "list"});
  EXPECT_EQ(list.exit_status, 0) << list.err;
  const std::vector<std::string> lines = Lines(list.out);
  ASSERT_EQ(lines.size(), 2u) << list.out;
  EXPECT_EQ(lines[0].rfind("Cyusb-0 at 1-1  04B4:8613", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("Cause: permission denied on USB device Cyusb-1 at 1-2 (errno 13).", 0),
            0u)
      << lines[1];
  const test::ProgramResult info = Run({"usb", "info", "--device", "1"});
  EXPECT_EQ(info.exit_status, 3);
  EXPECT_TRUE(Contains(info.err, "No USB device 1. Run flashwright-cli usb list.\nCause: "
                                 "permission denied on USB device Cyusb-1 at 1-2"))
      << info.err;
  // The legacy driver's indexes may have gaps: the device asked for is looked at itself.
  devices_.clear();
  SimDevice legacy;
  legacy.driver = "legacy";
  AddDevice(legacy);
  legacy.index = 3;
  legacy.settings = {"refuse-open"};
  AddDevice(legacy);
  legacy.index = 5;
  legacy.settings = {};
  AddDevice(legacy);
  const test::ProgramResult gap = Run({"usb", "info", "--device", "3"});
  EXPECT_EQ(gap.exit_status, 3);
  EXPECT_TRUE(Contains(gap.err, "No USB device 3. Run flashwright-cli usb list.\nCause: "
                                "permission denied on USB device Ezusb-3 at 2-4"))
      << gap.err;
  devices_.clear();
  AddDevice({});
  // A device that opens says nothing of the kind.
  const test::ProgramResult fine = Run({"--json", "usb", "info", "--device", "0"});
  EXPECT_EQ(fine.exit_status, 0) << fine.err;
  EXPECT_FALSE(JsonLines(fine.out).back().contains("reason")) << fine.out;
}

// ---- usb update

TEST_F(CliUsbTest, UpdateWritesTheImageReadsItBackAndReportsSuccess) {
  AddDevice({});
  const std::vector<std::uint8_t> image = WriteImage("Gate_1235");
  // Any letter case, with or without ".bin".
  const test::ProgramResult result = Run(UpdateArgs("gate_1235.BIN"));
  ASSERT_EQ(result.exit_status, 0) << result.out << result.err;
  ExpectImageWritten(image);
  EXPECT_TRUE(Contains(result.out, WithName(kUpdated, "Cyusb-0"))) << result.out;
  // 1000 bytes go in blocks of 31: the progress lines of the engine, ending at 100 percent.
  EXPECT_TRUE(Contains(result.out, "Verify (0 of 1000)")) << result.out;
  EXPECT_TRUE(Contains(result.out, "Program (31 of 1000) (3%)")) << result.out;
  EXPECT_TRUE(Contains(result.out, "Program (992 of 1000) (99%)")) << result.out;
  EXPECT_TRUE(Contains(result.out, "Program (1000 of 1000)...Finishing... (100%)")) << result.out;
  EXPECT_EQ(Counters()["eeprom_writes"], 33u);
  // The read-back came after the writes: more vendor requests than write requests.
  EXPECT_GT(Counters()["vendor_requests"], 33u + 1u);
}

// ---- waiting for the device (--wait)

TEST_F(CliUsbTest, AnUpdateWaitsForTheDeviceToAppearAndAfterwardsToBeAttachedAgain) {
  // The device is attached while its cable file exists: 2 seconds after the start, and again
  // after the detach that the success message asks for. Back, it runs the new firmware.
  const std::string cable = dir_.Join("cable");
  SimDevice device;
  device.settings = {"attached-while " + cable,
                     "reattached-product Orvane Folio Systems Gate 1.2.3.5"};
  AddDevice(device);
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  std::thread plug([&cable] {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    test::WriteFile(cable, "");
  });
  const auto started = std::chrono::steady_clock::now();
  auto program = Start(UpdateArgs("Gate", {"--json", "--wait=20"}));
  std::vector<nlohmann::json> events;
  std::string line;
  bool reattached = false;
  while (program->ReadLine(line, 60000)) {
    events.push_back(nlohmann::json::parse(line));
    const std::string text = events.back().value("text", "");
    if (!reattached && Contains(text, "Detach the USB cable of Cyusb-0 at 1-1")) {
      // The user detaches the device and attaches it again.
      std::filesystem::remove(cable);
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      test::WriteFile(cable, "");
      reattached = true;
    }
  }
  const test::ProgramResult run = program->Wait(60);
  plug.join();
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  ExpectImageWritten(image);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front()["event"], "message");
  EXPECT_EQ(events.front()["text"], "Waiting up to 20 seconds for USB device 0 to appear...");
  EXPECT_TRUE(reattached) << run.out;
  const nlohmann::json& outcome = events.back();
  EXPECT_EQ(outcome["event"], "outcome");
  EXPECT_EQ(outcome["version_after"], "Orvane Folio Systems Gate 1.2.3.5");
  EXPECT_EQ(outcome["verified"], true);
  EXPECT_EQ(outcome["text"], WithName(kUpdated, "Cyusb-0") +
                                 "\nProduct string after the update: Orvane Folio Systems Gate "
                                 "1.2.3.5");
}

TEST_F(CliUsbTest, ADeviceThatNeverAppearsEndsTheWaitWithStatus4AndNothingWritten) {
  SimDevice device;
  device.settings = {"attached-while " + dir_.Join("cable"), "bus-path 1-3.2"};
  AddDevice(device);
  WriteImage("Gate");
  const test::ProgramResult run = Run(UpdateArgs("Gate", {"--wait=1"}));
  EXPECT_EQ(run.exit_status, 4) << run.out << run.err;
  EXPECT_TRUE(Contains(run.out, "Waiting up to 1 seconds for USB device 0 to appear...")) << run.out;
  EXPECT_TRUE(Contains(run.err, "USB device 0 did not appear within 1 seconds. Nothing was written."))
      << run.err;
  ExpectUntouched();
  EXPECT_EQ(Counters()["opens"], 0u);

  // By bus path the same; JSON names the place, the time waited and the reason.
  const test::ProgramResult json = Run({"--json", "usb", "update", "--device", "1-3.2", "--wait=1",
                                        "--firmware", "Gate", "--firmware-dir", firmware_dir_});
  EXPECT_EQ(json.exit_status, 4) << json.out << json.err;
  const nlohmann::json outcome = JsonLines(json.out).back();
  EXPECT_EQ(outcome["bus_path"], "1-3.2");
  EXPECT_EQ(outcome["waited"], 1);
  EXPECT_EQ(outcome["reason"], "timeout");
  EXPECT_EQ(outcome["text"], "USB device 1-3.2 did not appear within 1 seconds. Nothing was written.");
  ExpectUntouched();
}

TEST_F(CliUsbTest, ADeviceThatIsNotAttachedAgainAfterTheUpdateEndsOnTheTimeOut) {
  AddDevice({});
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  const test::ProgramResult run = Run(UpdateArgs("Gate", {"--json", "--wait=1"}));
  EXPECT_EQ(run.exit_status, 4) << run.out << run.err;
  // The update itself went through; only the device's return was not seen.
  ExpectImageWritten(image);
  EXPECT_TRUE(Contains(run.err, WithName(kUpdated, "Cyusb-0"))) << run.err;
  EXPECT_TRUE(Contains(run.err, "Cyusb-0 at 1-1 was not attached again within 1 seconds after "
                                "the update."))
      << run.err;
  const nlohmann::json outcome = JsonLines(run.out).back();
  EXPECT_EQ(outcome["reason"], "timeout");
  EXPECT_EQ(outcome["verified"], true);
  EXPECT_EQ(outcome["bytes_written"], 1000);
  EXPECT_FALSE(outcome.contains("version_after")) << outcome.dump();
}

TEST_F(CliUsbTest, UpdateOnTheLegacyDriverWithJsonEvents) {
  SimDevice legacy;
  legacy.driver = "legacy";
  AddDevice(legacy);
  const std::vector<std::uint8_t> image = WriteImage("Gate", {.size = 20});
  const test::ProgramResult result = Run([&] {
    std::vector<std::string> args{"--json"};
    for (const std::string& a : UpdateArgs("Gate")) args.push_back(a);
    return args;
  }());
  ASSERT_EQ(result.exit_status, 0) << result.out << result.err;
  ExpectImageWritten(image);
  const std::vector<nlohmann::json> events = JsonLines(result.out);
  int program_reports = 0;
  for (const nlohmann::json& event : events) {
    if (event["event"] == "progress" && event["pass"] == "program") ++program_reports;
  }
  // A 20-byte image goes in 20 blocks of one byte: the start, 20 blocks and the last word.
  EXPECT_GE(program_reports, 22);
  const nlohmann::json& outcome = events.back();
  EXPECT_EQ(outcome["event"], "outcome");
  EXPECT_EQ(outcome["status"], 0);
  EXPECT_EQ(outcome["error"], 0);
  EXPECT_EQ(outcome["bytes_written"], 20);
  EXPECT_EQ(outcome["verified"], true);
  EXPECT_EQ(outcome["text"], WithName(kUpdated, "Ezusb-0"));
}

TEST_F(CliUsbTest, AReadBackMismatchNamesTheFirstByteThatDiffersAndExits1) {
  SimDevice device;
  device.settings = {"write-protect-from 300"};
  AddDevice(device);
  WriteImage("Gate");
  const test::ProgramResult result = Run(UpdateArgs("Gate"));
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_TRUE(Contains(result.err, " 300 ")) << result.err;
  EXPECT_FALSE(Contains(result.out, "successfully updated")) << result.out;

  std::vector<std::string> args{"--json"};
  for (const std::string& a : UpdateArgs("Gate")) args.push_back(a);
  const test::ProgramResult json = Run(args);
  EXPECT_EQ(json.exit_status, 1);
  const nlohmann::json outcome = JsonLines(json.out).back();
  EXPECT_EQ(outcome["status"], 1);
  EXPECT_EQ(outcome["verify_offset"], 300);
  EXPECT_EQ(outcome["verified"], false);

  // Without the read-back the engine's own word stands.
  const test::ProgramResult unverified = Run(UpdateArgs("Gate", {"--no-verify"}));
  EXPECT_EQ(unverified.exit_status, 0) << unverified.err;
}

TEST_F(CliUsbTest, ABlockWriteThatFailsEndsWithString163AndTheOffsetReached) {
  // The legacy driver hands the system code through; the device is gone, so no retry.
  SimDevice legacy;
  legacy.driver = "legacy";
  legacy.settings = {"fail-writes 3 1 1617"};
  AddDevice(legacy);
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  const test::ProgramResult result = Run(UpdateArgs("Gate"));
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_TRUE(Contains(result.err, kResponseError)) << result.err;
  EXPECT_TRUE(Contains(result.err, "(Err:1617,Offset:62)")) << result.err;
  // Two blocks of 31 bytes made it; nothing after them.
  ExpectImageWritten(std::vector<std::uint8_t>(image.begin(), image.begin() + 62));
  EXPECT_EQ(Counters()["eeprom_writes"], 2u);
}

TEST_F(CliUsbTest, ADeviceUnpluggedMidWriteOnTheCyUsbDriver) {
  SimDevice device;
  device.settings = {"unplug-after-bytes 100"};
  AddDevice(device);
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  const test::ProgramResult result = Run(UpdateArgs("Gate"));
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_TRUE(Contains(result.err, kResponseError)) << result.err;
  EXPECT_TRUE(Contains(result.err, ",Offset:93)")) << result.err;
  ExpectImageWritten(std::vector<std::uint8_t>(image.begin(), image.begin() + 93));
}

TEST_F(CliUsbTest, AnImageNameThatIsNotInTheFolderIsAUsageError) {
  AddDevice({});
  const test::ProgramResult empty = Run(UpdateArgs("Gate"));
  EXPECT_EQ(empty.exit_status, 2) << empty.out << empty.err;
  EXPECT_TRUE(Contains(empty.err, "No firmware files. Check firmware directory at " + firmware_dir_))
      << empty.err;
  WriteImage("Gate");
  const test::ProgramResult unknown = Run(UpdateArgs("Gate.hex"));
  EXPECT_EQ(unknown.exit_status, 2) << unknown.out << unknown.err;
  EXPECT_TRUE(Contains(unknown.err, "Firmware file Gate.hex not found. Check firmware directory at " +
                                        firmware_dir_))
      << unknown.err;
  ExpectUntouched();
}

TEST_F(CliUsbTest, CheckOnlyWritesNothing) {
  AddDevice({});
  WriteImage("Gate");
  const test::ProgramResult result = Run(UpdateArgs("Gate", {"--check-only"}));
  EXPECT_EQ(result.exit_status, 0) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out, "Nothing was written")) << result.out;
  ExpectUntouched();
}

// ---- the compatibility check

struct Refusal {
  const char* name;
  SimDevice device;
  UsbImageProfile image;
  std::vector<std::string> markers;
  const char* reason;
};

class CliUsbRefusalTest : public CliUsbTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CliUsbRefusalTest, IsRefusedWithItsReasonAndNothingIsWritten) {
  const Refusal& refusal = GetParam();
  AddDevice(refusal.device);
  WriteImage("Gate", refusal.image);
  std::vector<std::string> extra;
  for (const std::string& marker : refusal.markers) {
    extra.push_back("--marker");
    extra.push_back(marker);
  }
  const test::ProgramResult result = Run(UpdateArgs("Gate", extra));
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_TRUE(Contains(result.err, std::string(kNotCompatible) + "\n(" + refusal.reason + ")"))
      << result.err;
  EXPECT_FALSE(Contains(result.out, kAreYouSure)) << "asked without --allow-non-matching";
  ExpectUntouched();

  // --check-only tells the same.
  const test::ProgramResult check = Run(UpdateArgs("Gate", [&] {
    std::vector<std::string> with = extra;
    with.push_back("--check-only");
    return with;
  }()));
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_TRUE(Contains(check.err, refusal.reason)) << check.err;
}

SimDevice DeviceWith(std::uint8_t first_byte, std::uint16_t product_id, const std::string& product) {
  SimDevice device;
  device.first_byte = first_byte;
  device.product_id = product_id;
  device.product = product;
  return device;
}

INSTANTIATE_TEST_SUITE_P(
    EveryRule, CliUsbRefusalTest,
    ::testing::Values(
        Refusal{"FirstByte", DeviceWith(0xC0, 0x8613, "Orvane Folio Systems Gate 1.2.3.4"),
                {.first_byte = 0xC2}, {}, "First byte in firmware does not match"},
        Refusal{"Vendor", {}, {.vendor_id = 0x0547}, {}, "Vendor IDs do not match"},
        Refusal{"Product", {}, {.product_id = 0x8614}, {}, "Product IDs do not match"},
        Refusal{"DeviceVersion", DeviceWith(0xC2, 0x03AE, "Orvane Folio Systems Gate 0.0.1.49"),
                {.product_id = 0x03AE, .product_text = "Gate 0.0.1.60"}, {},
                "Device does not support firmware update"},
        Refusal{"ImageVersion", DeviceWith(0xC2, 0x03AE, "Orvane Folio Systems Gate 0.0.1.50"),
                {.product_id = 0x03AE, .product_text = "Gate 0.0.1.49"}, {},
                "Firmware file version not supported"},
        Refusal{"Marker", DeviceWith(0xC2, 0x8613, "Orvane Folio Systems Gate LF HF 1.2.3.4"),
                {}, {"LF", "HF"}, "HF must be in both versions"}),
    [](const ::testing::TestParamInfo<Refusal>& param) { return std::string(param.param.name); });

// ---- the confirmations of --allow-non-matching

TEST_F(CliUsbTest, ASevereMismatchIsAskedTwiceAndTwoYesesUpdate) {
  AddDevice(DeviceWith(0xC0, 0x8613, "Orvane Folio Systems Gate 1.2.3.4"));
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  const test::ProgramResult result = Run(UpdateArgs("Gate", {"--allow-non-matching"}), "y\nyes\n");
  EXPECT_EQ(result.exit_status, 0) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out, std::string(kMayNotWork) +
                                       "\n(First byte in firmware does not match)\n\n" +
                                       kAreYouSure))
      << result.out;
  EXPECT_TRUE(Contains(result.out,
                       "Updating to firmware that contains a different first byte may result in "
                       "a device that does not function at all.\n\n" +
                           std::string(kAbsolutelySure)))
      << result.out;
  ExpectImageWritten(image);
}

TEST_F(CliUsbTest, ANoToEitherQuestionWritesNothing) {
  AddDevice(DeviceWith(0xC0, 0x8613, "Orvane Folio Systems Gate 1.2.3.4"));
  WriteImage("Gate");
  const test::ProgramResult second_no =
      Run(UpdateArgs("Gate", {"--allow-non-matching"}), "y\nn\n");
  EXPECT_EQ(second_no.exit_status, 1) << second_no.out << second_no.err;
  EXPECT_TRUE(Contains(second_no.out, kAbsolutelySure));
  EXPECT_TRUE(Contains(second_no.err, "(First byte in firmware does not match)")) << second_no.err;
  ExpectUntouched();

  const test::ProgramResult first_no = Run(UpdateArgs("Gate", {"--allow-non-matching"}), "n\n");
  EXPECT_EQ(first_no.exit_status, 1);
  EXPECT_TRUE(Contains(first_no.out, kAreYouSure));
  EXPECT_FALSE(Contains(first_no.out, kAbsolutelySure)) << first_no.out;
  ExpectUntouched();

  // No input at all counts as No.
  const test::ProgramResult no_input = Run(UpdateArgs("Gate", {"--allow-non-matching"}));
  EXPECT_EQ(no_input.exit_status, 1);
  ExpectUntouched();
}

TEST_F(CliUsbTest, AMildMismatchIsAskedOnce) {
  AddDevice({});
  const std::vector<std::uint8_t> image = WriteImage("Gate", {.vendor_id = 0x0547});
  const test::ProgramResult result = Run(UpdateArgs("Gate", {"--allow-non-matching"}), "y\n");
  EXPECT_EQ(result.exit_status, 0) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out, "(Vendor IDs do not match)")) << result.out;
  EXPECT_FALSE(Contains(result.out, kAbsolutelySure)) << result.out;
  ExpectImageWritten(image);
}

TEST_F(CliUsbTest, YesAnswersTheQuestionsForScripts) {
  AddDevice(DeviceWith(0xC0, 0x8613, "Orvane Folio Systems Gate 1.2.3.4"));
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  // --yes alone does not let a failed check through.
  const test::ProgramResult refused = Run(UpdateArgs("Gate", {"--yes"}));
  EXPECT_EQ(refused.exit_status, 1) << refused.out << refused.err;
  ExpectUntouched();

  const test::ProgramResult result = Run(UpdateArgs("Gate", {"--allow-non-matching", "--yes"}));
  EXPECT_EQ(result.exit_status, 0) << result.out << result.err;
  EXPECT_TRUE(Contains(result.out + result.err, kAbsolutelySure));
  ExpectImageWritten(image);
}

TEST_F(CliUsbTest, JsonWithoutYesIsRefusedWhenAQuestionWouldBeAsked) {
  AddDevice(DeviceWith(0xC0, 0x8613, "Orvane Folio Systems Gate 1.2.3.4"));
  const std::vector<std::uint8_t> image = WriteImage("Gate");
  std::vector<std::string> args{"--json"};
  for (const std::string& a : UpdateArgs("Gate", {"--allow-non-matching"})) args.push_back(a);
  const test::ProgramResult refused = Run(args, "y\ny\n");
  EXPECT_EQ(refused.exit_status, 2) << refused.out << refused.err;
  const std::vector<nlohmann::json> events = JsonLines(refused.out);  // nothing but JSON
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["event"], "outcome");
  EXPECT_EQ(events.back()["status"], 2);
  ExpectUntouched();

  args.push_back("--yes");
  const test::ProgramResult answered = Run(args);
  EXPECT_EQ(answered.exit_status, 0) << answered.out << answered.err;
  EXPECT_EQ(JsonLines(answered.out).back()["status"], 0);
  ExpectImageWritten(image);
}

// ---- usb backup

TEST_F(CliUsbTest, BackupSavesTheWholeEepromAndKeepsAnEarlierFile) {
  AddDevice({});
  const std::string backup = dir_.Join("backup.bin");
  const test::ProgramResult result = Run({"usb", "backup", "--device", "0", "--output", backup});
  ASSERT_EQ(result.exit_status, 0) << result.out << result.err;
  EXPECT_EQ(ReadBytes(backup), OldEeprom(devices_[0]));
  EXPECT_EQ(Counters()["eeprom_writes"], 0u);

  // An existing file is kept unless --force says otherwise.
  WriteBytes(backup, {1, 2, 3});
  const test::ProgramResult kept = Run({"usb", "backup", "--device", "0", "--output", backup});
  EXPECT_EQ(kept.exit_status, 2) << kept.out << kept.err;
  EXPECT_EQ(ReadBytes(backup), (std::vector<std::uint8_t>{1, 2, 3}));
  const test::ProgramResult forced =
      Run({"usb", "backup", "--device", "0", "--output", backup, "--force"});
  EXPECT_EQ(forced.exit_status, 0) << forced.err;
  EXPECT_EQ(ReadBytes(backup), OldEeprom(devices_[0]));
}

TEST_F(CliUsbTest, StoredBytesDeAdAreDataNotTheDevicesFaultMarker) {
  SimDevice device;
  AddDevice(device);
  // DE AD where a read piece of 2048 bytes begins, and at byte 0.
  std::vector<std::uint8_t> eeprom = OldEeprom(device);
  eeprom[0] = 0xDE;
  eeprom[1] = 0xAD;
  eeprom[2048] = 0xDE;
  eeprom[2049] = 0xAD;
  eeprom[65534] = 0xDE;
  eeprom[65535] = 0xAD;
  WriteBytes(EepromPath(device), eeprom);
  const std::string backup = dir_.Join("backup.bin");
  const test::ProgramResult saved = Run({"usb", "backup", "--device", "0", "--output", backup});
  ASSERT_EQ(saved.exit_status, 0) << saved.out << saved.err;
  EXPECT_EQ(ReadBytes(backup), eeprom);
}

TEST_F(CliUsbTest, ABackupThatCannotReadEverythingLeavesNoFile) {
  FailingBackup({"dead-marker"});
}

// Reads that bring fewer bytes than asked (the first attempt and its retry) fail the backup:
// no file with zeros where no bytes came, and a failure exit.
TEST_F(CliUsbTest, ABackupWhoseReadsComeBackShortLeavesNoFile) {
  const test::ProgramResult result = FailingBackup({"short 2 100 3"});
  EXPECT_NE((result.out + result.err).find("at byte 6144 failed. Nothing was saved. (Err:31)"),
            std::string::npos)
      << result.out << result.err;
}

}  // namespace
}  // namespace flashwright::cli_test
