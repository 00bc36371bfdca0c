// Reading a device's EEPROM back against a simulated device: the backup of all of it (stored
// bytes DE AD among the data, a device answering with its fault marker, a file that cannot be
// written) and the read-back that verifies an image, with their progress.
#include "usb_update/usb_eeprom_reading.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/usb_driver_io.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/usb_image.h"

namespace flashwright {
namespace {

class EepromReadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = UsbFirmwareFolder();
    ASSERT_TRUE(SetUsbFirmwareFolder(images_.path()));
    device_ = &bus_.AddDevice(usbsim::Driver::kCyUsb, 0, {});
  }
  void TearDown() override { SetUsbFirmwareFolder(saved_folder_); }

  std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return bytes;
  }
  bool NothingLeftIn(const std::string& folder) {
    return std::filesystem::is_empty(folder);
  }

  test::TempDir images_;
  test::TempDir out_;
  std::string saved_folder_;
  usbsim::SimulatedUsbBus bus_;
  platform::ScopedUsbDriverIo installed_{&bus_};
  usbsim::SimulatedUsbDevice* device_ = nullptr;
};

TEST_F(EepromReadingTest, BackupSavesEveryByteAndFailsWithoutAFile) {
  std::vector<std::uint8_t> eeprom = Pattern(kUsbEepromSize);
  // DE AD where read pieces begin, and in the last two bytes: data, not the fault marker.
  for (std::size_t at : {0u, 2048u, 4096u, 65534u}) {
    eeprom[at] = 0xDE;
    eeprom[at + 1] = 0xAD;
  }
  device_->SetEeprom(eeprom);
  std::vector<std::uint32_t> progress;
  const std::string file = out_.Join("eeprom.bin");
  const UsbBackupResult saved =
      BackupUsbEeprom(0, file, [&](std::uint32_t done, std::uint32_t total) {
        EXPECT_EQ(total, kUsbEepromSize);
        progress.push_back(done);
      });
  ASSERT_EQ(saved.error, 0);
  EXPECT_TRUE(saved.write_error.empty());
  EXPECT_EQ(saved.size, kUsbEepromSize);
  EXPECT_EQ(test::ReadFile(file), std::string(eeprom.begin(), eeprom.end()));
  ASSERT_EQ(progress.size(), 32u);
  EXPECT_EQ(progress.front(), 2048u);
  EXPECT_EQ(progress.back(), kUsbEepromSize);
  EXPECT_EQ(device_->Counters().eeprom_writes, 0u);

  // A device that answers with its fault marker: the re-read fails too, and nothing is saved.
  std::filesystem::remove(file);
  device_->AnswerDeadMarker(true);
  const UsbBackupResult faulty = BackupUsbEeprom(0, file, nullptr);
  EXPECT_EQ(faulty.error, kUsbDeviceFault);
  EXPECT_EQ(faulty.offset, 0u);
  EXPECT_TRUE(NothingLeftIn(out_.path()));
  device_->AnswerDeadMarker(false);

  // Reads that come back short: failed where they were, nothing saved.
  device_->ShortenVendorRequests(2, 100, 3);
  std::uint32_t reached = 0;
  const UsbBackupResult shortened =
      BackupUsbEeprom(0, file, [&](std::uint32_t done, std::uint32_t) { reached = done; });
  EXPECT_EQ(shortened.error, kUsbTransferFailed);
  EXPECT_GT(shortened.offset, 0u);
  EXPECT_EQ(shortened.offset, reached) << "failed at the end of the last piece read";
  EXPECT_TRUE(NothingLeftIn(out_.path()));

  // A file that cannot be written: told why, and no part left behind.
  const UsbBackupResult unwritable = BackupUsbEeprom(0, out_.Join("no/such/folder/x.bin"), nullptr);
  EXPECT_EQ(unwritable.error, 0);
  EXPECT_FALSE(unwritable.write_error.empty());
  EXPECT_TRUE(NothingLeftIn(out_.path()));

  // No device at the index.
  EXPECT_NE(BackupUsbEeprom(5, file, nullptr).error, 0);
  EXPECT_TRUE(NothingLeftIn(out_.path()));
}

TEST_F(EepromReadingTest, VerifyComparesTheImageWithWhatTheDeviceHolds) {
  const std::vector<std::uint8_t> image = Pattern(5000);
  ASSERT_TRUE(test::WriteFile(images_.Join("Gate.bin"), std::string(image.begin(), image.end())));
  std::vector<std::uint8_t> eeprom(kUsbEepromSize, 0xFF);
  std::copy(image.begin(), image.end(), eeprom.begin());
  device_->SetEeprom(eeprom);
  std::uint32_t last_done = 0;
  UsbVerifyResult verify = VerifyUsbImage(0, "Gate", [&](std::uint32_t done, std::uint32_t total) {
    EXPECT_EQ(total, 5000u);
    last_done = done;
  });
  EXPECT_EQ(verify.error, 0);
  EXPECT_TRUE(verify.matches);
  EXPECT_EQ(verify.size, 5000u);
  EXPECT_EQ(last_done, 5000u);

  eeprom[4321] = 0x11;
  device_->SetEeprom(eeprom);
  verify = VerifyUsbImage(0, "Gate", nullptr);
  EXPECT_EQ(verify.error, 0);
  EXPECT_FALSE(verify.matches);
  EXPECT_EQ(verify.offset, 4321u);
  EXPECT_EQ(verify.found, 0x11);
  EXPECT_EQ(verify.expected, image[4321]);

  device_->ShortenVendorRequests(2, 10, 1);
  verify = VerifyUsbImage(0, "Gate", nullptr);
  EXPECT_EQ(verify.error, kUsbTransferFailed);
  EXPECT_EQ(verify.offset, 2048u);
  EXPECT_FALSE(verify.matches);
}

}  // namespace
}  // namespace flashwright
