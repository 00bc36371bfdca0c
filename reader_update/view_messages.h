// The reader update view's messages composed from the string table with their fields: the
// port, the version text, the firmware name and folder, and the view suffix (" using Advanced
// View" in the basic view, empty in the advanced view and on the command line).
#pragma once

#include <cstdint>
#include <string>

namespace flashwright {

struct MessageFields {
  std::string firmware_folder;
  std::string view_suffix;
};

std::string ComposeMessage(int id, int port, std::uint32_t version, const std::string& base_name,
                           const MessageFields& fields);

// The version gate's refusal: message 133 with " Contact service." for a reader too old
// (`verdict` -1), message 155 for one too new (+1).
std::string VersionRefusalText(int verdict, int port, std::uint32_t version);

}  // namespace flashwright
