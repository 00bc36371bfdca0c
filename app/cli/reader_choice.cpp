#include "app/cli/reader_choice.h"

#include "app/cli/cli_texts.h"
#include "shell/string_table.h"
#include "reader_link/reader_info.h"

namespace flashwright::cli {
namespace {

std::string WithLineBreaks(std::string text, const char* replacement) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n")) {
    text.replace(at, 2, replacement);
  }
  return text;
}

}  // namespace

nlohmann::ordered_json ReaderFields(const RunReader& reader) {
  nlohmann::ordered_json fields;
  fields["port"] = reader.port;
  fields["version"] = VersionText(reader.version);
  fields["version_value"] = reader.version;
  fields["bootloader_value"] = reader.bootloader;
  fields["flags"] = reader.flags;
  fields["version_text"] =
      WithLineBreaks(ReaderVersionText(reader.version, reader.bootloader, reader.flags), "\n");
  fields["source"] = reader.source;
  return fields;
}

std::string ReaderLine(const RunReader& reader) {
  const std::string details =
      WithLineBreaks(ReaderVersionText(reader.version, reader.bootloader, reader.flags), ", ");
  std::string line = FormatText(texts::kReaderLine, reader.port, details.c_str());
  if (reader.discovered) line += FormatText(texts::kFoundUsing, reader.source.c_str());
  return line;
}

}  // namespace flashwright::cli
