// The XML DOM of the sibling product's configuration files: a document loaded from a file,
// every element of one name selected in document order, and the attributes of each read as
// text.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace flashwright::platform {

struct XmlElement {
  // Name and text of each attribute, in document order.
  std::vector<std::pair<std::string, std::string>> attributes;

  // The text of attribute `name` (compared with case), or null when the element has none.
  const std::string* Attribute(std::string_view name) const {
    for (const auto& [attribute, text] : attributes) {
      if (attribute == name) return &text;
    }
    return nullptr;
  }
};

// Loads `path` synchronously and selects the elements named `element_name` anywhere in it
// ("//<name>"). 0, or a nonzero code when the document object cannot be made or the file
// cannot be loaded or is not well-formed XML; `elements` is then empty.
int SelectXmlElements(const std::string& path, const char* element_name,
                      std::vector<XmlElement>* elements);

}  // namespace flashwright::platform
