#include "reader_update/reader_reset.h"

#include "reader_link/commands.h"
#include "reader_link/transport.h"

namespace flashwright {

LinkError ResetReaderConfiguration(int port, std::uint8_t selection) {
  LinkError result =
      port > 0 ? OpenReaderPort(static_cast<std::uint16_t>(port)) : LinkError{kLinkPortNotOpen};
  // Only a port opened here is closed: a failed open may mean that another owner holds it.
  if (result == 0) {
    result = ResetConfiguration(selection);
    CloseReaderPort();
  }
  return result;
}

}  // namespace flashwright
