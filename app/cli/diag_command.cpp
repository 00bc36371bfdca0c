#include "app/cli/diag_command.h"

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/cli_texts.h"
#include "app/cli/exit_status.h"
#include "app/cli/tool_session.h"
#include "shell/string_table.h"
#include "reader_tools/tag_reads.h"

namespace flashwright::cli {
namespace {

using Clock = std::chrono::steady_clock;

struct TagRound {
  ToolResult result = 0;
  std::string status;  // the dialog's status line
  JsonObject fields;
  std::string text;    // the status line and one line per tag
};

// One "Read Once" of the dialog on the held port. `extra_byte` is the D5 variant, which an
// older reader's answers may switch for the next round.
TagRound ReadTagsOnce(const ToolPortState& state, bool* extra_byte) {
  TagRound round;
  std::vector<std::string> ids;
  round.result = ReadTags(state.ReaderVersion(), extra_byte, &ids);
  round.fields = ToolFields(state);
  round.fields["result"] = round.result;
  JsonObject tags = JsonObject::array();
  if (round.result != 0) {
    round.status = FormatText(texts::kReaderError, static_cast<long>(round.result));
    round.text = round.status;
  } else {
    round.status = FormatText(texts::kTagCount, static_cast<int>(ids.size()));
    round.text = round.status;
    for (const std::string& id : ids) {
      std::string block;
      const ToolResult read = ReadBlock0(state.ReaderVersion(), *extra_byte, id, &block);
      if (read != 0) block = FormatText(texts::kBlockError, static_cast<long>(read));
      JsonObject tag;
      tag["id"] = id;
      tag["result"] = read;
      tag["block0"] = block;
      tags.push_back(tag);
      round.text += "\n" + id + texts::kBlock0 + block;
    }
  }
  round.fields["count"] = tags.size();
  round.fields["status"] = round.status;
  round.fields["tags"] = tags;
  return round;
}

}  // namespace

int RunDiagnostics(int port, bool continuous, EventOutput& output, SignalWatcher* watcher) {
  ToolPortState state;
  if (const int status = StartToolSession(port, output, &state); status != kExitSuccess) {
    return status;
  }
  bool extra_byte = true;
  if (!continuous) {
    ToolOperationScope scope(state);
    const TagRound round = ReadTagsOnce(state, &extra_byte);
    if (round.result != 0) {
      return output.Outcome(kExitFailed, ui::PaneKind::kError, round.status, round.fields);
    }
    output.Event("tags", round.fields, round.text);
    return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "");
  }

  // Continuous reading holds the port from start to stop. Rounds fall on the ticks of a 500 ms
  // timer that starts now; ticks that pass during a long round are not made up.
  ScopedSignalMode stop_on_interrupt(watcher, SignalWatcher::Mode::Stop);
  state.HoldReaderPort();
  const auto period = std::chrono::milliseconds(kContinuousPeriodMs);
  const Clock::time_point start = Clock::now();
  Clock::time_point next_tick = start + period;
  int rounds = 0;
  while (watcher == nullptr || !watcher->Requested()) {
    if (Clock::now() < next_tick) {
      std::this_thread::sleep_for(std::min<Clock::duration>(next_tick - Clock::now(),
                                                            std::chrono::milliseconds(20)));
      continue;
    }
    const TagRound round = ReadTagsOnce(state, &extra_byte);
    ++rounds;
    output.Event("tags", round.fields, round.text);
    const auto elapsed = Clock::now() - start;
    next_tick = start + (elapsed / period + 1) * period;
  }
  state.ReleaseReaderPort();
  JsonObject fields = ToolFields(state);
  fields["rounds"] = rounds;
  return output.Outcome(kExitSuccess, ui::PaneKind::kSuccess, "", fields);
}

}  // namespace flashwright::cli
