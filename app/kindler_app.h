// The application object: run options from the command line, the process-wide busy flag, the
// version gate over the option lists, the choice of the first view, and the About and Exit
// commands. There is one per process; the shell reaches it through Get(), the subsystems
// through Shell(), whose services it provides (the frame's by passing them on to it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/run_options.h"
#include "shell/shell_services.h"
#include "windowing/command_state.h"
#include "windowing/form_view.h"

namespace flashwright {

class CKindlerDoc;
class CMainFrame;

class CKindlerApp : public ShellServices {
 public:
  using ViewFactory = std::function<std::unique_ptr<ui::FormView>()>;

  CKindlerApp();
  ~CKindlerApp() override;
  CKindlerApp(const CKindlerApp&) = delete;
  CKindlerApp& operator=(const CKindlerApp&) = delete;

  // The application object of the process, or nullptr before it exists.
  static CKindlerApp* Get();

  // The view classes the document template and the Device commands create.
  void SetViewFactory(ui::ViewKind kind, ViewFactory factory);
  // A new view of `kind`, not yet created in the frame; nullptr without a factory.
  std::unique_ptr<ui::FormView> CreateView(ui::ViewKind kind) const;

  // The first menu set is chosen as if Ctrl were held (for scripted runs on a virtual
  // display, where no key can be held down).
  void SetStartAdvanced(bool on) { start_advanced_ = on; }
  bool StartAdvanced() const { return start_advanced_; }

  // Reads the command line (program name excluded), creates the document, the frame and the
  // first view, and shows the frame. False when the frame or the view could not be created.
  bool InitInstance(const std::vector<std::string>& arguments);
  int ExitInstance();

  bool IsBusy() const override { return busy_; }
  void SetBusy(bool busy) override { busy_ = busy; }

  bool IsReaderEnabled() const;
  bool IsUsbEnabled() const { return options_.usb_enabled; }
  bool GetPortOption(std::int32_t* port) const override;
  bool GetReaderFirmwareOption(std::string* file) const override;
  bool GetTagTypeOption(std::uint8_t* tag_type) const override;
  bool GetUsbFirmwareOption(std::string* file) const override;
  const std::vector<std::string>& UsbMarkers() const override { return options_.usb_markers; }
  const RunOptions& Options() const override { return options_; }
  const VersionLimits& Limits() const { return options_.limits; }

  // -1 too old, +1 too new, 0 acceptable.
  int CheckReaderVersion(std::uint32_t version) const override;

  // The main frame's services; nothing happens before the frame exists.
  void LoadMenuSet(int menu_id) override;
  int IsAdvanced(int command) override;
  void SetAdvanced(int value, int command) override;
  void CheckMenuItem(int command_id, bool checked) override;
  void SetTitleCommand(int command) override;
  void SetTitleProgress(int command, std::int16_t percentage) override;

  // The view shown first, from the options and the firmware beside the program.
  ui::ViewKind ChooseFirstView() const;

  CMainFrame* MainFrame() const { return frame_.get(); }
  CKindlerDoc* Document() const { return document_.get(); }

  // Command routing: the application answers About and Exit.
  bool OnCommand(int command_id);
  bool OnUpdateCommand(ui::CommandState& state) const;
  bool HasCommand(int command_id) const;

  void OnAppAbout();

 private:
  RunOptions options_;
  bool busy_ = false;
  bool start_advanced_ = false;
  ViewFactory reader_view_factory_;
  ViewFactory usb_view_factory_;
  std::unique_ptr<CKindlerDoc> document_;
  std::unique_ptr<CMainFrame> frame_;
};

}  // namespace flashwright
