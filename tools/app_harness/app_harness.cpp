#include "tools/app_harness/app_harness.h"

#include <QCoreApplication>
#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>
#include <cstdio>
#include <filesystem>

#include "platform/installed_program_folder.h"
#include "tools/test_support/intel_hex_text.h"
#include "windowing/key_state.h"
#include "reader_update/kindler_view.h"
#include "usb_update/ezusb_fw_update_view.h"
#include "usb_update/usb_compatibility.h"
#include "reader_update/reader_view_state.h"

namespace flashwright::test {

std::string HexImage(std::size_t size, std::uint8_t descriptor) {
  std::vector<std::uint8_t> bytes(size);
  const std::uint8_t header[] = {0x00, 0xF0, 0x0C, 0xEF, 0x00, 0xF0, descriptor, 0x00};
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = i < sizeof header ? header[i] : static_cast<std::uint8_t>(i * 7 + 3);
  // Nothing follows the end-of-file record, so its report has consumed the whole file.
  return IntelHexImage(bytes, 16, false);
}

std::string PackageXml(const std::vector<std::string>& images) {
  std::string xml = "<?xml version=\"1.0\"?>\n<Package>\n";
  for (const std::string& image : images) xml += "  <FirmwareFile>" + image + "</FirmwareFile>\n";
  return xml + "</Package>\n";
}

AppHarness::AppHarness()
    : sysfs_env_("FLASHWRIGHT_SYSFS", sysfs_.path().c_str()),
      wine_env_("WINEPREFIX", wine_.path().c_str()) {
  std::filesystem::create_directories(FirmwareFolder());
  platform::SetInstalledProgramFolderForTesting(program_.path());
  ResetReaderViewStateForTesting();
  ResetDeviceNoticeReportForTesting();
  SetAllowNonMatchingDevices(false);
  ui::SetMessageBoxHandler([this](const ui::MessageBoxRequest& request) {
    boxes.push_back(request);
    if (while_box_open) while_box_open();
    if (!answers.empty()) {
      const int answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return (request.style & ui::kButtonMask) == ui::kButtonsYesNo ? int{ui::kAnswerNo}
                                                                  : int{ui::kAnswerOk};
  });
  ui::SetFolderBrowserHandler([this](const ui::FolderBrowseRequest&, std::string* path) {
    *path = folder_path;
    return folder_choice;
  });
  ui::SetControlKeySourceForTesting([this] { return control_held; });
}

AppHarness::~AppHarness() {
  Stop();
  ui::SetMessageBoxHandler(nullptr);
  ui::SetFolderBrowserHandler(nullptr);
  ui::SetControlKeySourceForTesting(nullptr);
  platform::SetInstalledProgramFolderForTesting(std::string());
  ResetReaderViewStateForTesting();
  readers_.clear();
}

bool AppHarness::AddImage(const std::string& base_name, std::size_t size,
                          std::uint8_t descriptor) {
  return AddFile(base_name + ".hex", HexImage(size, descriptor));
}

bool AppHarness::AddFile(const std::string& name, const std::string& contents) {
  return WriteFile(FirmwareFolder() + "/" + name, contents);
}

bool AppHarness::AddUsbImage(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::filesystem::create_directories(UsbFirmwareFolder());
  return WriteFile(UsbFirmwareFolder() + "/" + name + ".bin",
                   std::string(bytes.begin(), bytes.end()));
}

bool AppHarness::ConfigurePortInRegistry(int port) {
  char value[16];
  std::snprintf(value, sizeof value, "%08x", static_cast<unsigned>(port));
  return WriteFile(wine_.path() + "/system.reg",
                   std::string("WINE REGISTRY Version 2\n\n"
                               "[Software\\\\Orvane\\\\Folio Systems\\\\Common\\\\Ravelin\\\\1.00] "
                               "1600000000\n\"Port\"=dword:") +
                       value + "\n");
}

sim::ReaderSimulator& AppHarness::AddReader(unsigned com, sim::ReaderSimOptions options) {
  readers_.push_back(std::make_unique<sim::ReaderSimulator>(options));
  if (!readers_.back()->Start(ports_.path(), com)) std::fprintf(stderr, "no pty for COM%u\n", com);
  return *readers_.back();
}

bool AppHarness::Start(const std::vector<std::string>& arguments) {
  app_ = std::make_unique<CKindlerApp>();
  app_->SetViewFactory(ui::ViewKind::kReader,
                       [](QWidget* parent) { return new CKindlerView(parent); });
  app_->SetViewFactory(ui::ViewKind::kUsb,
                       [](QWidget* parent) { return new CEZUSBFWUpdateView(parent); });
  if (!app_->InitInstance(arguments)) return false;
  QCoreApplication::processEvents();
  return true;
}

void AppHarness::Stop() {
  if (!app_) return;
  // A run that is still going on is finished first: its worker owns the reader port.
  WaitUntilIdle();
  app_->ExitInstance();
  app_.reset();
  // Events for windows that are gone are dropped here, freeing their records.
  QCoreApplication::processEvents();
}

std::string AppHarness::PaneText() {
  auto* pane = Find<QTextEdit>(1000);
  return pane ? pane->toPlainText().toStdString() : std::string("<no pane>");
}

bool AppHarness::PaneBold() {
  auto* pane = Find<QTextEdit>(1000);
  QTextCursor cursor(pane->document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
  return cursor.charFormat().fontWeight() >= QFont::Bold;
}

QColor AppHarness::PaneBackground() {
  return Find<QTextEdit>(1000)->palette().color(QPalette::Base);
}

std::string AppHarness::ControlText(int id) {
  if (auto* label = Find<QLabel>(id)) return label->text().toStdString();
  if (auto* button = Find<QAbstractButton>(id)) return button->text().toStdString();
  return "<no control>";
}

void AppHarness::ChoosePort(int port) {
  auto* ports = Find<QComboBox>(1010);
  const int index = ports->findData(port);
  ports->setCurrentIndex(index);
  emit ports->activated(index);
}

void AppHarness::ChooseFirmware(const std::string& base_name) {
  auto* files = Find<QComboBox>(1012);
  const int index = files->findText(QString::fromStdString(base_name));
  files->setCurrentIndex(index);
  emit files->activated(index);
}

void AppHarness::ClickBeginUpdate() { Find<QPushButton>(1001)->click(); }

bool AppHarness::WaitUntilIdle(int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (app_ && app_->IsBusy()) {
    if (timer.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(5);
  }
  QCoreApplication::processEvents();
  return true;
}

}  // namespace flashwright::test
