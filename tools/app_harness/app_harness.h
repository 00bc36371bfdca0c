// Runs the real windowed program inside a test: a program folder with its firmware folder, a
// port folder for simulated readers, no adapters and no sibling configuration unless a test
// adds them, and message boxes, modal dialogs, the folder browser and the Ctrl key answered by
// the test. Everything is read and done through the windowing interface, so the same tests run
// against every backend.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/kindler_app.h"
#include "app/main_frame.h"
#include "platform/file_folder.h"
#include "platform/usb_driver_io.h"
#include "platform/usb_hotplug.h"
#include "tools/reader_sim/reader_simulator.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_sim/simulated_usb.h"
#include "windowing/dialog.h"
#include "windowing/folder_browser.h"
#include "windowing/form.h"
#include "windowing/frame_window.h"
#include "windowing/message_box.h"
#include "windowing/message_pane.h"

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
  AppHarness(const AppHarness&) = delete;
  AppHarness& operator=(const AppHarness&) = delete;

  // The folders beside the program, named as the program names them.
  std::string FirmwareFolder() const {
    return program_.path() + platform::kPathSeparator + "firmware";
  }
  std::string ProgramFolder() const { return program_.path(); }
  // The USB firmware folder beside the program; it does not exist until an image is added.
  std::string UsbFirmwareFolder() const {
    return program_.path() + platform::kPathSeparator + "ezusb_fw";
  }
  bool AddUsbImage(const std::string& name, const std::vector<std::uint8_t>& bytes);
  bool AddImage(const std::string& base_name, std::size_t size = 512,
                std::uint8_t descriptor = 0x40);
  bool AddFile(const std::string& name, const std::string& contents);
  // The sibling product's registry names COM `port` (auto-detect finds it there).
  bool ConfigurePortInRegistry(int port);

  // A simulated reader published as COM `com`. The simulator runs on a pseudo-terminal, so
  // this exists on Linux only; under Wine the reader side is tested against reader-sim
  // programs that the test script links in as COM ports.
  sim::ReaderSimulator& AddReader(unsigned com, sim::ReaderSimOptions options = {});

  // Starts the program with `arguments` (program name excluded). False when it failed.
  bool Start(const std::vector<std::string>& arguments = {});
  void Stop();

  CKindlerApp& App() { return *app_; }
  CMainFrame& Frame() { return *app_->MainFrame(); }
  // The frame's window: title, minimised state, menu items.
  ui::FrameWindow& Window();
  // The active view's controls.
  ui::Form& ViewForm();

  // Controls of the active view's form, by identifier.
  std::string ControlText(int id);  // line breaks as "\n"
  bool Enabled(int id);
  bool Visible(int id);
  bool Checked(int id);
  std::vector<std::string> Items(int id);
  std::intptr_t ItemData(int id, int index);
  int Selection(int id);             // -1 for none
  std::string SelectedText(int id);  // "" for none
  int ProgressPos(int id);

  // The message pane of the active view (1000 or 1026): its text (line breaks as "\n"),
  // whether it is bold, and its background.
  std::string PaneText();
  bool PaneBold();
  ui::Rgb PaneBackground();

  // What the user does in the active view: the same notifications as a real choice or click.
  void Choose(int id, int index);
  // Chooses the first item with `data` / the text `text`; false when there is none.
  bool ChooseData(int id, std::intptr_t data);
  bool ChooseText(int id, const std::string& text);
  void Press(int id);
  // Picks the port or firmware of the reader view as the user does.
  void ChoosePort(int port);
  void ChooseFirmware(const std::string& base_name);
  void ClickBeginUpdate();

  // Routes a command as the framework does (active view, frame, application).
  void Command(int command_id) { Frame().RouteCommand(command_id); }
  // Chooses the menu item as the user does (nothing when its update handler greys it).
  void ChooseMenuItem(int command_id) { Window().ChooseMenuItem(command_id); }
  std::string Title() { return Window().Title(); }

  // Waits (running the event loop) until the application is no longer busy.
  bool WaitUntilIdle(int timeout_ms = 30000);
  // Runs the event loop until `condition` holds; false after `timeout_ms`.
  bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 10000);

  // Message boxes: every box is recorded; answers come from the queue (Yes/No boxes without a
  // queued answer get No, others OK).
  std::vector<ui::MessageBoxRequest> boxes;
  std::deque<int> answers;
  // Run while a box is open, before it is answered (a real box runs its own event loop there).
  std::function<void()> while_box_open;
  // Modal dialogs: the template of every dialog opened is recorded; `dialog_handler` drives
  // the dialog (open and initialised) and returns how it ended; without one it is cancelled.
  std::vector<int> dialogs;
  std::function<int(ui::Dialog&)> dialog_handler;
  // The folder the browser answers with.
  ui::FolderChoice folder_choice = ui::FolderChoice::kCancelled;
  std::string folder_path;
  bool control_held = false;

  // The USB devices the program sees: simulated, with the bus's hot-plug notices (none at
  // first).
  usbsim::SimulatedUsbBus usb_bus;

 private:
  int PaneId();

  TempDir program_;
  TempDir sysfs_;
  TempDir wine_;
  ScopedPortDir ports_;
  ScopedEnv sysfs_env_;
  ScopedEnv wine_env_;
  platform::ScopedUsbDriverIo usb_io_{&usb_bus};
  platform::ScopedUsbHotplugSource usb_hotplug_{&usb_bus.Hotplug()};
  // Shared, not unique: the deleter is made where a reader is added, so a build without the
  // simulator links.
  std::vector<std::shared_ptr<sim::ReaderSimulator>> readers_;
  std::unique_ptr<CKindlerApp> app_;
};

}  // namespace flashwright::test
