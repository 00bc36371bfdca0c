#include "reader_tools/tool_opener.h"

#include <QString>
#include <memory>

#include "shell/command_ids.h"
#include "reader_link/reader_info.h"
#include "reader_tools/chute_security_method.h"
#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/portal_afi_default.h"
#include "reader_tools/rf_power_level.h"
#include "reader_tools/rf_transmit_mode.h"
#include "reader_tools/tool_port_state.h"
#include "windowing/modal_dialog.h"

namespace flashwright {
namespace {

std::unique_ptr<CReaderToolDialog> CreateToolDialog(QWidget* parent, int command) {
  switch (command) {
    case kCmdDiagnostics: return std::make_unique<CDiagnosticsDlog>(parent);
    case kCmdPortalAfi: return std::make_unique<CPortalAFIDefault>(parent);
    case kCmdSecurityMethod: return std::make_unique<CChuteSecurityMethod>(parent);
    case kCmdTransmitMode: return std::make_unique<CRFTransmitMode>(parent);
    case kCmdPowerLevel: return std::make_unique<CRFPowerLevel>(parent);
    default: return nullptr;
  }
}

}  // namespace

bool IsReaderToolCommand(int command) {
  return command == kCmdDiagnostics ||
         (command >= kCmdPortalAfi && command <= kCmdPowerLevel);
}

bool RunReaderToolDialog(QWidget* parent, int command, int port, std::uint32_t reader_version) {
  std::unique_ptr<CReaderToolDialog> dialog = CreateToolDialog(parent, command);
  if (!dialog) return false;
  dialog->SetPort(port);
  dialog->SetReaderVersion(reader_version);
  dialog->SetVersionText(QString::fromStdString(VersionText(reader_version)));
  ui::DoModal(*dialog);
  return true;
}

}  // namespace flashwright
