#include "reader_update/view_messages.h"

#include "shell/string_table.h"
#include "reader_link/reader_info.h"

namespace flashwright {

std::string ComposeMessage(int id, int port, std::uint32_t version, const std::string& base_name,
                           const MessageFields& fields) {
  const char* suffix = fields.view_suffix.c_str();
  const char* folder = fields.firmware_folder.c_str();
  switch (id) {
    case IDS_ALREADY_UPDATED:
    case IDS_FIRMWARE_UPDATED:
    case IDS_UPDATE_FAILED_ON_PORT:
    case IDS_CANNOT_DETECT_READER:
      return FormatString(id, port);
    case IDS_CANNOT_UPDATE_VERSION:
      return FormatString(id, port, VersionText(version).c_str()) + " " +
             LoadString(IDS_CONTACT_SERVICE);
    case IDS_UPDATE_NOT_ALLOWED:
      return FormatString(id, port, VersionText(version).c_str());
    case IDS_FIRMWARE_FILE_NOT_FOUND:
    case IDS_FILE_ERROR:
    case IDS_UPDATE_FAILED_FILE_ERROR:
      return FormatString(id, base_name.c_str(), folder);
    case IDS_NO_READER_ON_PORT:
    case IDS_PORT_DOES_NOT_EXIST:
      return FormatString(id, port, suffix);
    case IDS_SELECT_FIRMWARE:
    case IDS_SELECT_PORT:
    case IDS_BEFORE_TRYING_AGAIN:
      return FormatString(id, suffix);
    case IDS_NO_FIRMWARE_FILES:
      return FormatString(id, folder);
    case IDS_VERIFY_FILE_ERROR:
    case IDS_VERIFY_PLATFORM_ERROR:
      return FormatString(id, base_name.c_str());
    default:
      return LoadString(id);
  }
}

std::string VersionRefusalText(int verdict, int port, std::uint32_t version) {
  return ComposeMessage(verdict < 0 ? IDS_CANNOT_UPDATE_VERSION : IDS_UPDATE_NOT_ALLOWED, port,
                        version, std::string(), MessageFields{});
}

}  // namespace flashwright
