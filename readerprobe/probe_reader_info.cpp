#include <string>

#include "reader_link/reader_information.h"
#include "readerprobe/detect_reader.h"

namespace flashwright::probe {

LinkError GetReaderInfo(int port, std::string* version_text, std::string* power_text,
                        int* version_number) {
  version_text->clear();
  power_text->clear();
  if (port <= 0) return 0;
  const ReaderInformation info = ReadReaderInformation(port, true);
  *version_text = info.version_text;
  *power_text = info.power_text;
  *version_number = 0;
  if (info.result != 0) return info.result;
  // The three version bytes' decimal digits run together: at most 255255255.
  const std::string digits = std::to_string((info.version >> 16) & 0xFF) +
                             std::to_string((info.version >> 8) & 0xFF) +
                             std::to_string(info.version & 0xFF);
  *version_number = std::stoi(digits);
  return info.power_error;
}

}  // namespace flashwright::probe
