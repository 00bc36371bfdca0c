#include "app/cli/tool_session.h"

#include <string>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/reader_choice.h"
#include "shell/string_table.h"
#include "discovery/version_gate.h"
#include "reader_link/reader_info.h"
#include "reader_update/tool_reader.h"

namespace flashwright::cli {

int StartToolSession(int port, EventOutput& output, ToolPortState* state) {
  const ToolReaderChoice chosen = ChooseToolReader(port, false, 0, VersionLimits{});
  if (!chosen.found) {
    JsonObject fields;
    fields["port"] = chosen.reader.port;
    return output.Outcome(kExitNoReader, ui::PaneKind::kError, chosen.failure, fields);
  }
  const RunReader& choice = chosen.reader;
  state->SetPort(choice.port);
  state->SetReaderVersion(choice.version);
  state->SetVersionText(VersionText(choice.version));
  JsonObject fields = ReaderFields(choice);
  output.Event("reader", fields,
               FormatText(texts::kPortLine, choice.port) + "\n" +
                   FormatText(texts::kVersionLine, state->VersionText().c_str()));
  return kExitSuccess;
}

JsonObject ToolFields(const ToolPortState& state) {
  JsonObject fields;
  fields["port"] = state.Port();
  fields["version"] = state.VersionText();
  return fields;
}

}  // namespace flashwright::cli
