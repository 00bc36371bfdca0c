// The compatibility check, the already-updated test and the confirmation decision, with images
// read from real files.
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tools/test_support/test_support.h"
#include "usb_update/usb_compatibility.h"

namespace flashwright {
namespace {

using test::TempDir;
using test::WriteFile;

UsbDeviceInfo Device(std::uint8_t first_byte, std::uint16_t product_id, std::string product) {
  return {first_byte, 0x1234, product_id, std::move(product)};
}

UsbImageInfo ImageInfo(std::uint8_t first_byte, std::uint16_t product_id, std::string text) {
  return {first_byte, 0x1234, product_id, std::move(text)};
}

struct Check {
  bool ok = false;
  std::string reason;
  bool severe = false;
  std::string warning;
};

Check RunCheck(const UsbDeviceInfo& device, const UsbImageInfo& image,
          const std::vector<std::string>& markers = {}) {
  Check check;
  check.ok = CheckUsbCompatibility(device, image, markers, &check.reason, &check.severe,
                                   &check.warning);
  return check;
}

constexpr char kFirstByteWarning[] =
    "Updating to firmware that contains a different first byte may result in a device that "
    "does not function at all.";
constexpr char kVersionWarning[] =
    "Attempting to update this device with this firmware may result in device lock-up now or "
    "the next time a firmware update is done.";

TEST(CheckUsbCompatibilityTest, IdentityRulesInOrder) {
  Check check = RunCheck(Device(0xC0, 0x5678, "Gate"), ImageInfo(0xC2, 0x9999, "Gate"));
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.reason, "First byte in firmware does not match");
  EXPECT_TRUE(check.severe);
  EXPECT_EQ(check.warning, kFirstByteWarning);

  UsbImageInfo other_vendor = ImageInfo(0xC0, 0x9999, "Gate");
  other_vendor.vendor_id = 0x4321;
  check = RunCheck(Device(0xC0, 0x5678, "Gate"), other_vendor);
  EXPECT_EQ(check.reason, "Vendor IDs do not match");
  EXPECT_FALSE(check.severe);
  EXPECT_EQ(check.warning, "");

  check = RunCheck(Device(0xC0, 0x5678, "Gate"), ImageInfo(0xC0, 0x9999, "Gate"));
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.reason, "Product IDs do not match");
  EXPECT_FALSE(check.severe);

  check = RunCheck(Device(0xC0, 0x5678, "Gate"), ImageInfo(0xC0, 0x5678, "Other"));
  EXPECT_TRUE(check.ok);
  EXPECT_EQ(check.reason, "");
  // Outputs may be left out.
  EXPECT_FALSE(CheckUsbCompatibility(Device(0xC0, 1, ""), ImageInfo(0xC2, 1, ""), {}, nullptr,
                                     nullptr, nullptr));
}

TEST(CheckUsbCompatibilityTest, MinimumVersionsOfFirmwareDevices) {
  Check check = RunCheck(Device(0xC2, 0x03AE, "Sentry 0.0.1.49"), ImageInfo(0xC2, 0x03AE, "9.9.9.9"));
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.reason, "Device does not support firmware update");
  EXPECT_TRUE(check.severe);
  EXPECT_EQ(check.warning, kVersionWarning);

  check = RunCheck(Device(0xC2, 0x03AE, "Sentry 0.0.1.50"), ImageInfo(0xC2, 0x03AE, "Sentry 0.0.1.49"));
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.reason, "Firmware file version not supported");
  EXPECT_TRUE(check.severe);
  EXPECT_EQ(check.warning, kVersionWarning);

  EXPECT_TRUE(RunCheck(Device(0xC2, 0x03AE, "0.0.1.50"), ImageInfo(0xC2, 0x03AE, "0.0.1.50")).ok);
  // An image without product text has version 0.
  EXPECT_EQ(RunCheck(Device(0xC2, 0x18A6, "0.1.27.4"), ImageInfo(0xC2, 0x18A6, "")).reason,
            "Firmware file version not supported");
  EXPECT_EQ(RunCheck(Device(0xC2, 0x18A6, "0.1.27.3"), ImageInfo(0xC2, 0x18A6, "")).reason,
            "Device does not support firmware update");
  // Comparisons are unsigned: 255.x is above every minimum.
  EXPECT_TRUE(RunCheck(Device(0xC2, 0x18A6, "255.0.0.0"), ImageInfo(0xC2, 0x18A6, "128.0")).ok);
  // Other product IDs, and devices without firmware, skip the rule.
  EXPECT_TRUE(RunCheck(Device(0xC2, 0x03AF, ""), ImageInfo(0xC2, 0x03AF, "")).ok);
  EXPECT_TRUE(RunCheck(Device(0xC0, 0x03AE, ""), ImageInfo(0xC0, 0x03AE, "")).ok);
}

TEST(CheckUsbCompatibilityTest, MarkerListFromItsLastEntry) {
  const std::vector<std::string> markers = {"LF", "HF"};
  Check check = RunCheck(Device(0xC0, 1, "Gate LF HF"), ImageInfo(0xC0, 1, "Gate"), markers);
  EXPECT_FALSE(check.ok);
  EXPECT_EQ(check.reason, "HF must be in both versions");
  EXPECT_FALSE(check.severe);

  EXPECT_EQ(RunCheck(Device(0xC0, 1, "Gate LF HF"), ImageInfo(0xC0, 1, "Gate HF"), markers).reason,
            "LF must be in both versions");
  EXPECT_TRUE(RunCheck(Device(0xC0, 1, "Gate LF HF"), ImageInfo(0xC0, 1, "HF LF"), markers).ok);
  // Only markers of the device count, and case matters.
  EXPECT_TRUE(RunCheck(Device(0xC0, 1, "Gate lf"), ImageInfo(0xC0, 1, "Gate"), markers).ok);
  // A failed identity rule is what the user is told, not a marker.
  EXPECT_EQ(RunCheck(Device(0xC0, 1, "LF"), ImageInfo(0xC0, 2, ""), markers).reason,
            "Product IDs do not match");
}

TEST(IsAlreadyUpdatedTest, NeedsEqualIdsAndText) {
  EXPECT_TRUE(IsAlreadyUpdated(Device(0xC2, 5, "Gate 1.2"), ImageInfo(0x00, 5, "Gate 1.2")));
  EXPECT_FALSE(IsAlreadyUpdated(Device(0xC2, 5, "Gate 1.2"), ImageInfo(0xC2, 5, "gate 1.2")));
  EXPECT_FALSE(IsAlreadyUpdated(Device(0xC2, 5, "Gate 1.2"), ImageInfo(0xC2, 6, "Gate 1.2")));
  UsbImageInfo other_vendor = ImageInfo(0xC2, 5, "Gate 1.2");
  other_vendor.vendor_id = 1;
  EXPECT_FALSE(IsAlreadyUpdated(Device(0xC2, 5, "Gate 1.2"), other_vendor));
}

TEST(AllowNonMatchingDevicesTest, OffAtStartAndToggles) {
  EXPECT_FALSE(AllowNonMatchingDevices());
  EXPECT_TRUE(ToggleAllowNonMatchingDevices());
  EXPECT_TRUE(AllowNonMatchingDevices());
  EXPECT_FALSE(ToggleAllowNonMatchingDevices());
  SetAllowNonMatchingDevices(true);
  EXPECT_TRUE(AllowNonMatchingDevices());
  SetAllowNonMatchingDevices(false);
  EXPECT_FALSE(AllowNonMatchingDevices());
}

// The image folder with one image "gate" (first byte C2, IDs 1234/03AE, text "Gate 0.0.1.60").
class ConfirmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = UsbFirmwareFolder();
    ASSERT_TRUE(SetUsbFirmwareFolder(dir_.path()));
    std::string image("\xC2\x34\x12\xAE\x03", 5);
    image += std::string(11, '\xFF');
    for (char c : std::string("Orvane Sentry Systems")) image += std::string{c, '\0'};
    image += "  ";
    for (char c : std::string("Gate 0.0.1.60")) image += std::string{c, '\0'};
    image += std::string(2, '\0');
    ASSERT_TRUE(WriteFile(dir_.Join("gate.bin"), image));
  }
  void TearDown() override {
    SetUsbFirmwareFolder(saved_);
    SetAllowNonMatchingDevices(false);
  }

  // Answers the questions in turn and notes what was asked.
  UsbQuestionFunction Answer(std::vector<bool> answers) {
    return [this, answers = std::move(answers)](UsbQuestion question, const std::string& text) {
      asked_.emplace_back(question, text);
      return asked_.size() <= answers.size() && answers[asked_.size() - 1];
    };
  }

  TempDir dir_;
  std::string saved_;
  std::vector<std::pair<UsbQuestion, std::string>> asked_;
};

TEST_F(ConfirmTest, MatchingImageGoesAheadWithoutQuestions) {
  SetAllowNonMatchingDevices(true);
  const UsbConfirmation confirmation =
      ConfirmUsbUpdate(Device(0xC2, 0x03AE, "Gate 0.0.1.55"), "gate", false, {}, Answer({}));
  EXPECT_TRUE(confirmation.ok);
  EXPECT_EQ(confirmation.reason, "");
  EXPECT_EQ(confirmation.image.product_text, "Gate 0.0.1.60");
  EXPECT_EQ(confirmation.image.product_id, 0x03AE);
  EXPECT_TRUE(asked_.empty());
}

TEST_F(ConfirmTest, SevereFailureAsksTwice) {
  SetAllowNonMatchingDevices(true);
  const UsbDeviceInfo device = Device(0xC0, 0x03AE, "Gate");
  UsbConfirmation confirmation = ConfirmUsbUpdate(device, "gate", false, {}, Answer({true, true}));
  EXPECT_TRUE(confirmation.ok);
  EXPECT_EQ(confirmation.reason, "First byte in firmware does not match");  // kept
  EXPECT_TRUE(confirmation.asked_may_not_work);
  EXPECT_TRUE(confirmation.asked_absolutely_sure);
  ASSERT_EQ(asked_.size(), 2u);
  EXPECT_EQ(asked_[0].first, UsbQuestion::kMayNotWork);
  EXPECT_EQ(asked_[0].second,
            "This firmware may not work on this device.\r\n(First byte in firmware does not "
            "match)\r\n\r\nAre you sure you want to update?");
  EXPECT_EQ(asked_[1].first, UsbQuestion::kAbsolutelySure);
  EXPECT_EQ(asked_[1].second, std::string(kFirstByteWarning) +
                                  "\r\n\r\nAre you absolutely sure you want to update?");

  asked_.clear();
  confirmation = ConfirmUsbUpdate(device, "gate", false, {}, Answer({true, false}));
  EXPECT_FALSE(confirmation.ok);
  EXPECT_EQ(asked_.size(), 2u);

  asked_.clear();
  confirmation = ConfirmUsbUpdate(device, "gate", false, {}, Answer({false}));
  EXPECT_FALSE(confirmation.ok);
  EXPECT_TRUE(confirmation.asked_may_not_work);
  EXPECT_FALSE(confirmation.asked_absolutely_sure);
  EXPECT_EQ(asked_.size(), 1u);
}

TEST_F(ConfirmTest, MildFailureAsksOnce) {
  SetAllowNonMatchingDevices(true);
  const UsbConfirmation confirmation = ConfirmUsbUpdate(
      Device(0xC2, 0x03AE, "Gate 0.0.1.55 HF"), "gate", false, {"HF"}, Answer({true}));
  EXPECT_TRUE(confirmation.ok);
  EXPECT_EQ(confirmation.reason, "HF must be in both versions");
  EXPECT_FALSE(confirmation.severe);
  EXPECT_EQ(asked_.size(), 1u);
}

TEST_F(ConfirmTest, NoQuestionWithOverrideOffOrControlKeyHeld) {
  const UsbDeviceInfo device = Device(0xC0, 0x03AE, "Gate");
  UsbConfirmation confirmation = ConfirmUsbUpdate(device, "gate", false, {}, Answer({true, true}));
  EXPECT_FALSE(confirmation.ok);
  EXPECT_EQ(confirmation.reason, "First byte in firmware does not match");
  EXPECT_TRUE(confirmation.severe);
  EXPECT_FALSE(confirmation.asked_may_not_work);

  SetAllowNonMatchingDevices(true);
  confirmation = ConfirmUsbUpdate(device, "gate", true, {}, Answer({true, true}));
  EXPECT_FALSE(confirmation.ok);
  EXPECT_FALSE(confirmation.asked_may_not_work);
  // No question function: as if the user said No.
  confirmation = ConfirmUsbUpdate(device, "gate", false, {}, nullptr);
  EXPECT_FALSE(confirmation.ok);
  EXPECT_TRUE(asked_.empty());
}

TEST_F(ConfirmTest, UnreadableImageFailsWithItsCode) {
  SetAllowNonMatchingDevices(true);
  ASSERT_TRUE(WriteFile(dir_.Join("short.bin"), "\xC2\x34\x12"));
  UsbConfirmation confirmation =
      ConfirmUsbUpdate(Device(0xC2, 0x03AE, "Gate 0.0.1.55"), "short", false, {}, Answer({true}));
  EXPECT_TRUE(confirmation.ok);  // overridden
  EXPECT_EQ(confirmation.read_error, kUsbEmpty);
  EXPECT_EQ(confirmation.reason, "Error -1 checking file.");
  EXPECT_EQ(confirmation.image.vendor_id, 0);
  ASSERT_EQ(asked_.size(), 1u);  // not severe: one question
  EXPECT_EQ(asked_[0].second,
            "This firmware may not work on this device.\r\n(Error -1 checking file.)\r\n\r\nAre "
            "you sure you want to update?");

  SetAllowNonMatchingDevices(false);
  confirmation = ConfirmUsbUpdate(Device(0xC2, 0x03AE, ""), "missing", false, {}, Answer({}));
  EXPECT_FALSE(confirmation.ok);
  EXPECT_EQ(confirmation.reason, "Error " + std::to_string(ENOENT) + " checking file.");
}

}  // namespace
}  // namespace flashwright
