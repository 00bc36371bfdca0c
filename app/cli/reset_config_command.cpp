#include "app/cli/reset_config_command.h"

#include <string>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/reader_choice.h"
#include "shell/string_table.h"
#include "discovery/version_gate.h"
#include "reader_link/reader_link.h"
#include "reader_update/outcome_text.h"
#include "reader_update/reader_reset.h"
#include "reader_update/tool_reader.h"

namespace flashwright::cli {

int RunResetConfiguration(int port, std::uint8_t selection, EventOutput& output) {
  const ToolReaderChoice chosen = ChooseToolReader(port, false, 0, VersionLimits{});
  if (!chosen.found) {
    JsonObject fields;
    fields["port"] = chosen.reader.port;
    return output.Outcome(kExitNoReader, ui::PaneKind::kError, chosen.failure, fields);
  }
  const RunReader& choice = chosen.reader;
  output.Event("reader", ReaderFields(choice), ReaderLine(choice));
  const std::string names = TechnologyNames(selection);
  JsonObject fields;
  fields["port"] = choice.port;
  fields["selection"] = names;
  // The view offers the command only for readers that have it; older ones are not sent it.
  if (choice.version <= kSettingsVersionFloor) {
    fields["result"] = nullptr;
    return output.Outcome(kExitFailed, ui::PaneKind::kError,
                          FormatText(texts::kResetNeedsNewerReader, names.c_str(), choice.port,
                                     VersionText(choice.version).c_str()),
                          fields);
  }
  const LinkError result = ResetReaderConfiguration(choice.port, selection);
  fields["result"] = result;
  const std::string text = ResetConfigurationText(result, selection);
  if (result != 0) return output.Outcome(kExitFailed, ui::PaneKind::kError, text, fields);
  output.Event("reset_config", fields, text);
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "", fields);
}

}  // namespace flashwright::cli
