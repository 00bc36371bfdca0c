#include "app/cli/settings_commands.h"

#include <string>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/tool_session.h"
#include "shell/string_table.h"
#include "reader_tools/portal_afi.h"
#include "reader_tools/power_level.h"
#include "reader_tools/security_method.h"
#include "reader_tools/tool_status_text.h"
#include "reader_tools/transmit_mode.h"

namespace flashwright::cli {
namespace {

std::string Hex(std::uint8_t value) { return FormatText("%02X", static_cast<unsigned>(value)); }

// A failed read or set: the dialog's status line on stderr.
int Failed(EventOutput& output, const ToolPortState& state, ToolResult result,
           const char* refusal_sentence = nullptr) {
  JsonObject fields = ToolFields(state);
  fields["result"] = result;
  return output.Outcome(kExitFailed, ui::PaneKind::kError,
                        ToolStatusText(result, refusal_sentence), fields);
}

int Done(EventOutput& output, const char* event, JsonObject fields, const std::string& text) {
  output.Event(event, fields, text);
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "");
}

}  // namespace

int RunPortalAfi(int port, std::optional<std::uint8_t> set_value, EventOutput& output) {
  ToolPortState state;
  if (const int status = StartToolSession(port, output, &state); status != kExitSuccess) {
    return status;
  }
  ToolOperationScope scope(state);
  JsonObject fields = ToolFields(state);
  fields["set"] = set_value.has_value();
  if (set_value) {
    const ToolResult result = WritePortalAfi(state.ReaderVersion(), *set_value);
    if (result != 0) return Failed(output, state, result);
    fields["afi"] = Hex(*set_value);
    return Done(output, "afi", fields, texts::kAfiSetTo + Hex(*set_value));
  }
  std::uint8_t afi = 0;
  const ToolResult result = ReadPortalAfi(state.ReaderVersion(), &afi);
  if (result != 0) return Failed(output, state, result);
  fields["afi"] = Hex(afi);
  return Done(output, "afi", fields, texts::kCurrentAfi + Hex(afi));
}

int RunSecurityMethod(int port, std::optional<SecuritySetting> setting, EventOutput& output) {
  ToolPortState state;
  if (const int status = StartToolSession(port, output, &state); status != kExitSuccess) {
    return status;
  }
  ToolOperationScope scope(state);
  JsonObject fields = ToolFields(state);
  fields["set"] = setting.has_value();
  std::uint8_t method = 0;
  std::uint8_t value = 0;
  if (setting) {
    method = setting->method;
    value = setting->value;
    const ToolResult result = WriteSecurityMethod(state.ReaderVersion(), method, value);
    if (result != 0) return Failed(output, state, result, texts::kSecurityRefused);
  } else {
    const ToolResult result = ReadSecurityMethod(state.ReaderVersion(), &method, &value);
    if (result != 0) return Failed(output, state, result);
  }
  // None has no value: the dialogs show an empty value field.
  const std::string value_text = method == kSecurityNone ? std::string() : Hex(value);
  fields["method"] = SecurityMethodName(method);
  fields["method_code"] = method;
  fields["value"] = value_text;
  if (setting) {
    return Done(output, "security", fields,
                std::string(texts::kSecuritySetTo) + SecurityMethodName(method) + " " +
                    value_text);
  }
  return Done(output, "security", fields,
              std::string(texts::kCurrentSecurityMethod) + SecurityMethodName(method) + "\n" +
                  texts::kCurrentSecurityValue + value_text);
}

int RunTransmitMode(int port, std::optional<std::uint8_t> set_mode, EventOutput& output) {
  ToolPortState state;
  if (const int status = StartToolSession(port, output, &state); status != kExitSuccess) {
    return status;
  }
  ToolOperationScope scope(state);
  JsonObject fields = ToolFields(state);
  fields["set"] = set_mode.has_value();
  std::uint8_t mode = 0;
  if (set_mode) {
    mode = *set_mode;
    const ToolResult result = WriteTransmitMode(state.ReaderVersion(), mode);
    if (result != 0) return Failed(output, state, result, texts::kModeRefused);
  } else {
    const ToolResult result = ReadTransmitMode(state.ReaderVersion(), &mode);
    if (result != 0) return Failed(output, state, result);
  }
  fields["mode"] = TransmitModeName(mode);
  fields["mode_code"] = mode;
  const char* label = set_mode ? texts::kModeSetTo : texts::kCurrentMode;
  return Done(output, "transmit_mode", fields, label + std::string(TransmitModeName(mode)));
}

int RunPowerLevel(int port, std::optional<std::uint8_t> set_level, EventOutput& output) {
  ToolPortState state;
  if (const int status = StartToolSession(port, output, &state); status != kExitSuccess) {
    return status;
  }
  ToolOperationScope scope(state);
  JsonObject fields = ToolFields(state);
  fields["set"] = set_level.has_value();
  std::uint8_t level = 0;
  if (set_level) {
    level = *set_level;
    const ToolResult result = WriteRfPowerLevel(state.ReaderVersion(), level);
    if (result != 0) return Failed(output, state, result, texts::kLevelRefused);
  } else {
    const ToolResult result = ReadRfPowerLevel(state.ReaderVersion(), &level);
    if (result != 0) return Failed(output, state, result);
  }
  fields["level"] = PowerLevelName(level);
  fields["level_code"] = level;
  const char* label = set_level ? texts::kLevelSetTo : texts::kCurrentLevel;
  return Done(output, "power_level", fields, label + std::string(PowerLevelName(level)));
}

}  // namespace flashwright::cli
