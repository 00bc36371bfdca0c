#include "tools/app_harness/app_harness.h"

#include <cstdio>
#include <filesystem>

#include "platform/installed_program_folder.h"
#include "tools/test_support/intel_hex_text.h"
#include "shell/control_ids.h"
#include "windowing/event_loop.h"
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
  ui::SetModalDialogHandler([this](ui::Dialog& dialog) {
    dialogs.push_back(dialog.TemplateId());
    if (dialog_handler) {
      // A copy: the handler may replace itself.
      const auto handler = dialog_handler;
      return handler(dialog);
    }
    return int{ui::kDialogCancel};
  });
}

AppHarness::~AppHarness() {
  Stop();
  ui::SetMessageBoxHandler(nullptr);
  ui::SetFolderBrowserHandler(nullptr);
  ui::SetControlKeySourceForTesting(nullptr);
  ui::SetModalDialogHandler(nullptr);
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

bool AppHarness::Start(const std::vector<std::string>& arguments) {
  app_ = std::make_unique<CKindlerApp>();
  app_->SetViewFactory(ui::ViewKind::kReader, [] { return std::make_unique<CKindlerView>(); });
  app_->SetViewFactory(ui::ViewKind::kUsb,
                       [] { return std::make_unique<CEZUSBFWUpdateView>(); });
  if (!app_->InitInstance(arguments)) return false;
  ui::ProcessEvents(0);
  return true;
}

void AppHarness::Stop() {
  if (!app_) return;
  // A run that is still going on is finished first: its worker owns the reader port.
  WaitUntilIdle();
  app_->ExitInstance();
  app_.reset();
  // Events for windows that are gone are dropped here, freeing their records.
  ui::ProcessEvents(0);
}

ui::FrameWindow& AppHarness::Window() { return Frame().Window(); }

ui::Form& AppHarness::ViewForm() { return Frame().ActiveView()->form(); }

namespace {
std::string WithoutCarriageReturns(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}
}  // namespace

std::string AppHarness::ControlText(int id) {
  if (!ViewForm().HasControl(id)) return "<no control>";
  return WithoutCarriageReturns(ViewForm().Text(id));
}

bool AppHarness::Enabled(int id) { return ViewForm().IsEnabled(id); }
bool AppHarness::Visible(int id) { return ViewForm().IsVisible(id); }
bool AppHarness::Checked(int id) { return ViewForm().Checked(id); }

std::vector<std::string> AppHarness::Items(int id) {
  std::vector<std::string> items;
  for (int i = 0; i < ViewForm().ItemCount(id); ++i) items.push_back(ViewForm().ItemText(id, i));
  return items;
}

std::intptr_t AppHarness::ItemData(int id, int index) { return ViewForm().ItemData(id, index); }
int AppHarness::Selection(int id) { return ViewForm().CurSel(id); }

std::string AppHarness::SelectedText(int id) {
  const int selection = ViewForm().CurSel(id);
  return selection < 0 ? std::string() : ViewForm().ItemText(id, selection);
}

int AppHarness::ProgressPos(int id) { return ViewForm().ProgressPos(id); }

int AppHarness::PaneId() {
  return Frame().ActiveView()->Kind() == ui::ViewKind::kUsb ? int{kIdcUsbMessagePane}
                                                             : int{kIdcMessagePane};
}

std::string AppHarness::PaneText() {
  if (!app_ || !Frame().ActiveView()) return "<no pane>";
  return WithoutCarriageReturns(ViewForm().Text(PaneId()));
}

bool AppHarness::PaneBold() { return ViewForm().PaneBold(PaneId()); }
ui::Rgb AppHarness::PaneBackground() { return ViewForm().PaneBackground(PaneId()); }

void AppHarness::Choose(int id, int index) { ViewForm().Choose(id, index); }

bool AppHarness::ChooseData(int id, std::intptr_t data) {
  const int index = ViewForm().FindItemData(id, data);
  if (index < 0) return false;
  ViewForm().Choose(id, index);
  return true;
}

bool AppHarness::ChooseText(int id, const std::string& text) {
  for (int i = 0; i < ViewForm().ItemCount(id); ++i) {
    if (ViewForm().ItemText(id, i) == text) {
      ViewForm().Choose(id, i);
      return true;
    }
  }
  return false;
}

void AppHarness::Press(int id) { ViewForm().Click(id); }
void AppHarness::ChoosePort(int port) { ChooseData(kIdcPortSelector, port); }
void AppHarness::ChooseFirmware(const std::string& base_name) {
  ChooseText(kIdcFirmwareSelector, base_name);
}
void AppHarness::ClickBeginUpdate() { Press(kIdcBeginUpdate); }

bool AppHarness::WaitUntilIdle(int timeout_ms) {
  const bool idle = ui::WaitUntil([this] { return !app_ || !app_->IsBusy(); }, timeout_ms);
  ui::ProcessEvents(0);
  return idle;
}

bool AppHarness::WaitFor(const std::function<bool()>& condition, int timeout_ms) {
  return ui::WaitUntil(condition, timeout_ms);
}

}  // namespace flashwright::test
