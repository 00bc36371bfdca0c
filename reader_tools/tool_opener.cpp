#include "reader_tools/tool_opener.h"

#include <QString>
#include <memory>

#include "reader_tools/chute_security_method.h"
#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/portal_afi_default.h"
#include "reader_tools/rf_power_level.h"
#include "reader_tools/rf_transmit_mode.h"
#include "reader_tools/tool_port_state.h"

namespace flashwright {
namespace {

std::unique_ptr<CReaderToolDialog> CreateToolDialog(QWidget* parent, int command) {
  switch (command) {
    case kCommandDiagnostics: return std::make_unique<CDiagnosticsDlog>(parent);
    case kCommandPortalAfi: return std::make_unique<CPortalAFIDefault>(parent);
    case kCommandSecurityMethod: return std::make_unique<CChuteSecurityMethod>(parent);
    case kCommandTransmitMode: return std::make_unique<CRFTransmitMode>(parent);
    case kCommandPowerLevel: return std::make_unique<CRFPowerLevel>(parent);
    default: return nullptr;
  }
}

}  // namespace

bool IsReaderToolCommand(int command) {
  return command == kCommandDiagnostics ||
         (command >= kCommandPortalAfi && command <= kCommandPowerLevel);
}

bool RunReaderToolDialog(QWidget* parent, int command, int port, std::uint32_t reader_version) {
  std::unique_ptr<CReaderToolDialog> dialog = CreateToolDialog(parent, command);
  if (!dialog) return false;
  dialog->SetPort(port);
  dialog->SetReaderVersion(reader_version);
  dialog->SetVersionText(QString::fromStdString(ToolVersionText(reader_version)));
  dialog->exec();
  return true;
}

}  // namespace flashwright
