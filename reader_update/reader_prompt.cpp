#include "reader_update/reader_prompt.h"

#include "shell/string_table.h"

namespace flashwright {

ReaderPrompt ComposeReaderPrompt(const ReaderPromptInput& input,
                                 const std::function<int(std::uint32_t)>& check_version,
                                 const MessageFields& fields) {
  ReaderPrompt prompt;
  prompt.ready = true;
  auto add = [&prompt](const std::string& message) {
    if (!prompt.text.empty()) prompt.text += kLineBreak;
    prompt.text += message;
  };
  auto refuse = [&prompt](ui::PaneKind kind) {
    if (kind == ui::PaneKind::kError) prompt.kind = ui::PaneKind::kError;
    prompt.ready = false;
  };
  auto compose = [&fields](int id, int port, std::uint32_t version, const std::string& name) {
    return ComposeMessage(id, port, version, name, fields);
  };

  const int port = input.port;
  if (port < 0 && input.wanted_port) {
    add(compose(IDS_PORT_DOES_NOT_EXIST, *input.wanted_port, 0, std::string()));
    refuse(ui::PaneKind::kError);
  }
  if (!input.have_firmware) {
    if (input.wanted_firmware) {
      add(compose(IDS_FIRMWARE_FILE_NOT_FOUND, 0, 0, *input.wanted_firmware));
      refuse(ui::PaneKind::kError);
    } else if (!input.firmware_listed) {
      add(compose(IDS_NO_FIRMWARE_FILES, 0, 0, std::string()));
      refuse(ui::PaneKind::kError);
    }
  }
  if (prompt.kind != ui::PaneKind::kError) {
    if (port < 0 || (port == 0 && input.recover_mode)) {
      add(compose(IDS_SELECT_PORT, 0, 0, std::string()));
      refuse(ui::PaneKind::kNeutral);
    }
    if (!input.have_firmware) {
      add(compose(IDS_SELECT_FIRMWARE, 0, 0, std::string()));
      refuse(ui::PaneKind::kNeutral);
    }
  }
  if (prompt.ready && !input.recover_mode && port > 0) {
    if (input.version != 0) {
      const int gate = check_version ? check_version(input.version) : 0;
      if (gate != 0) {
        add(compose(gate < 0 ? IDS_CANNOT_UPDATE_VERSION : IDS_UPDATE_NOT_ALLOWED, port,
                    input.version, std::string()));
        refuse(ui::PaneKind::kError);
      }
    } else {
      add(compose(IDS_NO_READER_ON_PORT, port, 0, std::string()));
      refuse(ui::PaneKind::kNeutral);
    }
  }
  if (prompt.ready) add(LoadString(IDS_PRESS_BEGIN_UPDATE));
  return prompt;
}

}  // namespace flashwright
