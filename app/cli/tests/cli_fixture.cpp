#include "app/cli/tests/cli_fixture.h"

#include <sys/stat.h>

#include <cstdio>

#include "tools/test_support/intel_hex_text.h"

namespace flashwright::cli_test {

std::vector<HexRecord> SmallImage(int records, std::uint8_t platform,
                                  std::uint8_t descriptor_class) {
  std::vector<HexRecord> image;
  const std::uint8_t descriptor =
      static_cast<std::uint8_t>((descriptor_class << 6) | ((platform & 0x07) << 3));
  image.push_back({0x0000, 0x00, {0x0C, 0xEF, 0x00, 0xF0, 0x00, 0x00, descriptor, 0x00}});
  for (int i = 0; i < records; ++i) {
    HexRecord record;
    record.address = static_cast<std::uint16_t>(0x0008 + 16 * i);
    for (int b = 0; b < 16; ++b) record.data.push_back(static_cast<std::uint8_t>(i * 16 + b));
    image.push_back(record);
  }
  image.push_back({0x0000, 0x01, {}});
  return image;
}

std::string IntelHexText(const std::vector<HexRecord>& records) {
  std::string text;
  for (const HexRecord& record : records) {
    text += test::IntelHexRecord(record.address, record.type, record.data);
  }
  return text;
}

std::vector<sim::SimRecord> AsSimRecords(const std::vector<HexRecord>& records) {
  std::vector<sim::SimRecord> result;
  for (const HexRecord& record : records) {
    sim::SimRecord sim_record;
    sim_record.count = static_cast<std::uint8_t>(record.data.size());
    sim_record.address = record.address;
    sim_record.type = record.type;
    sim_record.data = record.data;
    sim_record.checksum = test::IntelHexChecksum(record.address, record.type, record.data);
    result.push_back(sim_record);
  }
  return result;
}

CliTest::CliTest()
    : port_dir_(dir_.Join("ports")),
      sysfs_root_(dir_.Join("sysfs")),
      wine_prefix_(dir_.Join("wine")),
      firmware_dir_(dir_.Join("firmware")) {
  for (const std::string& folder :
       {port_dir_, sysfs_root_, wine_prefix_, firmware_dir_, dir_.Join("dev")}) {
    mkdir(folder.c_str(), 0755);
  }
  sysfs_ = std::make_unique<test::FakeSysfs>(sysfs_root_);
}

sim::ReaderSimulator& CliTest::StartReader(unsigned com, sim::ReaderSimOptions options,
                                           const std::string& tty) {
  auto reader = std::make_unique<sim::ReaderSimulator>(options);
  const bool started = reader->Start(port_dir_, com, tty.empty() ? std::string() : "../dev/" + tty);
  EXPECT_TRUE(started) << "simulator on COM" << com;
  readers_.push_back(std::move(reader));
  return *readers_.back();
}

void CliTest::AddAdapter(const std::string& tty, const std::string& bus_path) {
  test::FakeUsbDevice device;
  device.name = bus_path;
  device.vendor = 0x0403;
  device.product_id = 0x6001;
  device.release = 0x0600;
  device.product = "FT232R USB UART";
  sysfs_->AddSerialAdapter(device, "ftdi_sio", tty);
}

std::vector<HexRecord> CliTest::WriteImage(const std::string& name,
                                           const std::vector<HexRecord>& image) {
  EXPECT_TRUE(test::WriteFile(firmware_dir_ + "/" + name + ".hex", IntelHexText(image)));
  return image;
}

void CliTest::WritePackage(const std::string& name, const std::vector<std::string>& images) {
  std::string text = "<?xml version=\"1.0\"?>\n<Package>\n";
  for (const std::string& image : images) text += "  <FirmwareFile>" + image + "</FirmwareFile>\n";
  text += "</Package>\n";
  EXPECT_TRUE(test::WriteFile(firmware_dir_ + "/" + name + ".xml", text));
}

std::string CliTest::ProgramPath() { return FLASHWRIGHT_CLI_PATH; }

std::vector<std::string> CliTest::Environment() const {
  return {"FLASHWRIGHT_PORT_DIR=" + port_dir_, "FLASHWRIGHT_SYSFS=" + sysfs_root_,
          "WINEPREFIX=" + wine_prefix_, "HOME=" + dir_.path()};
}

test::ProgramResult CliTest::Run(const std::vector<std::string>& args, int timeout_seconds) {
  std::vector<std::string> argv{ProgramPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::RunProgram(argv, Environment(), timeout_seconds);
}

std::vector<std::string> CliTest::UpdateArgs(const std::string& port, const std::string& name,
                                             std::vector<std::string> extra) const {
  std::vector<std::string> args{"update", "--port", port, "--firmware", name,
                                "--firmware-dir", firmware_dir_};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace flashwright::cli_test
