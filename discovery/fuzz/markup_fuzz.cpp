// Parses arbitrary text and walks every element it yields, reading each one's data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/markup.h"

namespace {

void Walk(flashwright::CMarkup& markup, int depth) {
  int visited = 0;
  while (markup.FindElement() && visited < 64) {
    ++visited;
    (void)markup.GetElementData();
    if (depth < 16 && markup.EnterElement()) {
      Walk(markup, depth + 1);
      return;  // the walk cannot step back out; one path down is enough
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  flashwright::CMarkup markup;
  if (markup.SetDocument(text.c_str())) {
    Walk(markup, 0);
    markup.SetDocument(text.c_str());
    markup.FindElement();
    markup.EnterElement();
    while (markup.FindElement("FirmwareFile")) (void)markup.GetElementData();
  }
  return 0;
}
