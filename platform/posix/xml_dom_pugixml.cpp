// The XML DOM through pugixml.
#include <pugixml.hpp>

#include "platform/xml_dom.h"

namespace flashwright::platform {

int SelectXmlElements(const std::string& path, const char* element_name,
                      std::vector<XmlElement>* elements) {
  elements->clear();
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(path.c_str());
  if (!parsed) return static_cast<int>(parsed.status) != 0 ? static_cast<int>(parsed.status) : -1;
  const std::string query = std::string("//") + element_name;
  for (const pugi::xpath_node& entry : document.select_nodes(query.c_str())) {
    const pugi::xml_node node = entry.node();
    if (!node) continue;
    XmlElement element;
    for (const pugi::xml_attribute& attribute : node.attributes()) {
      element.attributes.emplace_back(attribute.name(), attribute.value());
    }
    elements->push_back(std::move(element));
  }
  return 0;
}

}  // namespace flashwright::platform
