#include "reader_tools/tool_opener.h"

#include <memory>

#include "reader_link/reader_info.h"
#include "reader_tools/chute_security_method.h"
#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/portal_afi_default.h"
#include "reader_tools/rf_power_level.h"
#include "reader_tools/rf_transmit_mode.h"
#include "shell/command_ids.h"

namespace flashwright {
namespace {

std::unique_ptr<CReaderToolDialog> CreateToolDialog(int command) {
  switch (command) {
    case kCmdDiagnostics: return std::make_unique<CDiagnosticsDlog>();
    case kCmdPortalAfi: return std::make_unique<CPortalAFIDefault>();
    case kCmdSecurityMethod: return std::make_unique<CChuteSecurityMethod>();
    case kCmdTransmitMode: return std::make_unique<CRFTransmitMode>();
    case kCmdPowerLevel: return std::make_unique<CRFPowerLevel>();
    default: return nullptr;
  }
}

}  // namespace

bool IsReaderToolCommand(int command) {
  return command == kCmdDiagnostics ||
         (command >= kCmdPortalAfi && command <= kCmdPowerLevel);
}

bool RunReaderToolDialog(ui::WindowRef owner, int command, int port,
                         std::uint32_t reader_version) {
  std::unique_ptr<CReaderToolDialog> dialog = CreateToolDialog(command);
  if (!dialog) return false;
  dialog->SetPort(port);
  dialog->SetReaderVersion(reader_version);
  dialog->SetVersionText(VersionText(reader_version));
  dialog->DoModal(owner);
  return true;
}

}  // namespace flashwright
