// Runs the real windowed program inside a test: a program folder with its firmware folder, a
// port folder for simulated readers, no adapters and no sibling configuration unless a test
// adds them, and message boxes, the folder browser and the Ctrl key answered by the test.
#pragma once

#include <QComboBox>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "windowing/folder_browser.h"
#include "windowing/message_box.h"
#include "platform/usb_driver_io.h"
#include "platform/usb_hotplug.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_sim/simulated_usb.h"

namespace flashwright::test {

// Intel HEX text of an image of `size` bytes in 16-byte records: the first record starts
// 00 F0 0C EF 00 F0, then the descriptor byte (data byte 6), then filler; no line end
// after the end-of-file record.
std::string HexImage(std::size_t size, std::uint8_t descriptor = 0x40);

// A package naming `images` in order.
std::string PackageXml(const std::vector<std::string>& images);

class AppHarness {
 public:
  AppHarness();
  ~AppHarness();

  std::string FirmwareFolder() const { return program_.path() + "/firmware"; }
  std::string ProgramFolder() const { return program_.path(); }
  // The USB firmware folder beside the program; it does not exist until an image is added.
  std::string UsbFirmwareFolder() const { return program_.path() + "/ezusb_fw"; }
  bool AddUsbImage(const std::string& name, const std::vector<std::uint8_t>& bytes);
  bool AddImage(const std::string& base_name, std::size_t size = 512,
                std::uint8_t descriptor = 0x40);
  bool AddFile(const std::string& name, const std::string& contents);
  // The sibling product's registry names COM `port` (auto-detect finds it there).
  bool ConfigurePortInRegistry(int port);

  // A simulated reader published as COM `com`.
  sim::ReaderSimulator& AddReader(unsigned com, sim::ReaderSimOptions options = {});

  // Starts the program with `arguments` (program name excluded). False when it failed.
  bool Start(const std::vector<std::string>& arguments = {});
  void Stop();

  CKindlerApp& App() { return *app_; }
  CMainFrame& Frame() { return *app_->MainFrame(); }
  template <typename Control>
  Control* Find(int id) {
    return app_->MainFrame()->findChild<Control*>(QString::number(id));
  }

  // The message pane's text (line breaks as "\n"), whether it is bold, and its background.
  std::string PaneText();
  bool PaneBold();
  QColor PaneBackground();
  std::string ControlText(int id);

  // Picks the port or firmware as the user does.
  void ChoosePort(int port);
  void ChooseFirmware(const std::string& base_name);
  void Command(int command_id) { Frame().RouteCommand(command_id); }
  void ClickBeginUpdate();
  // Waits (running the event loop) until the application is no longer busy.
  bool WaitUntilIdle(int timeout_ms = 30000);

  // Message boxes: every box is recorded; answers come from the queue (Yes/No boxes without a
  // queued answer get No, others OK).
  std::vector<ui::MessageBoxRequest> boxes;
  std::deque<int> answers;
  // Run while a box is open, before it is answered (a real box runs its own event loop there).
  std::function<void()> while_box_open;
  // The folder the browser answers with.
  ui::FolderChoice folder_choice = ui::FolderChoice::kCancelled;
  std::string folder_path;
  bool control_held = false;

  // The USB devices the program sees: simulated, with the bus's hot-plug notices (none at
  // first).
  usbsim::SimulatedUsbBus usb_bus;

 private:
  TempDir program_;
  TempDir sysfs_;
  TempDir wine_;
  ScopedPortDir ports_;
  ScopedEnv sysfs_env_;
  ScopedEnv wine_env_;
  platform::ScopedUsbDriverIo usb_io_{&usb_bus};
  platform::ScopedUsbHotplugSource usb_hotplug_{&usb_bus.Hotplug()};
  std::vector<std::unique_ptr<sim::ReaderSimulator>> readers_;
  std::unique_ptr<CKindlerApp> app_;
};

}  // namespace flashwright::test
