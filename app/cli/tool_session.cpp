#include "app/cli/tool_session.h"

#include <string>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/reader_choice.h"
#include "app/string_table.h"
#include "discovery/version_gate.h"

namespace flashwright::cli {

int StartToolSession(int port, EventOutput& output, ToolPortState* state) {
  ReaderChoice choice;
  std::string failure;
  if (const int status = ChooseToolReader(port, VersionLimits{}, &choice, &failure);
      status != kExitSuccess) {
    JsonObject fields;
    fields["port"] = choice.port;
    return output.Outcome(status, MessageKind::Error, failure, fields);
  }
  state->SetPort(choice.port);
  state->SetReaderVersion(choice.version);
  state->SetVersionText(ToolVersionText(choice.version));
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
