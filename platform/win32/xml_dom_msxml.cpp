// The XML DOM through the MSXML document object over COM: the 4.0 one, and where that is not
// installed (no current Windows ships it) the 6.0 one, which every Windows since Vista has.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml2.h>

#include <string>

#include "platform/xml_dom.h"

namespace flashwright::platform {
namespace {

// {88D969C0-F192-11D4-A65F-0040963251E5}: DOMDocument40.
const CLSID kDomDocument40 = {0x88D969C0, 0xF192, 0x11D4,
                              {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
// {88D96A05-F192-11D4-A65F-0040963251E5}: DOMDocument60.
const CLSID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4,
                              {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
// {2933BF95-7B36-11D2-B20E-00C04F983E60}: IXMLDOMDocument2.
const IID kXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2,
                              {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// COM for the calling thread, for as long as the lookup runs. A thread that has it already
// keeps its own setting.
class ComScope {
 public:
  ComScope() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

// Releases a COM interface at the end of its scope.
template <typename Interface>
class Held {
 public:
  Held() = default;
  ~Held() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;

  Interface* operator->() const { return pointer_; }
  Interface** Out() { return &pointer_; }
  void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : value_(::SysAllocString(text.c_str())) {}
  Bstr() = default;
  ~Bstr() { ::SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return value_; }
  BSTR* Out() { return &value_; }

 private:
  BSTR value_ = nullptr;
};

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
  return wide;
}

std::string Narrow(BSTR text) {
  if (text == nullptr) return {};
  const int chars = static_cast<int>(::SysStringLen(text));
  if (chars == 0) return {};
  const int length = ::WideCharToMultiByte(CP_ACP, 0, text, chars, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, chars, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

// The typed value of a node as text, converted as a variant converts.
bool NodeText(IXMLDOMNode* node, std::string* text) {
  VARIANT value;
  ::VariantInit(&value);
  if (FAILED(node->get_nodeTypedValue(&value))) return false;
  VARIANT converted;
  ::VariantInit(&converted);
  const bool ok = SUCCEEDED(::VariantChangeType(&converted, &value, 0, VT_BSTR));
  if (ok) *text = Narrow(converted.bstrVal);
  ::VariantClear(&converted);
  ::VariantClear(&value);
  return ok;
}

void ReadAttributes(IXMLDOMNode* node, XmlElement* element) {
  Held<IXMLDOMNamedNodeMap> attributes;
  if (FAILED(node->get_attributes(attributes.Out())) || !attributes) return;
  long count = 0;
  if (FAILED(attributes->get_length(&count))) return;
  for (long index = 0; index < count; ++index) {
    Held<IXMLDOMNode> attribute;
    if (FAILED(attributes->get_item(index, attribute.Out())) || !attribute) continue;
    Bstr name;
    std::string text;
    if (FAILED(attribute->get_nodeName(name.Out())) || !NodeText(attribute.operator->(), &text)) {
      continue;
    }
    element->attributes.emplace_back(Narrow(name.get()), std::move(text));
  }
}

}  // namespace

int SelectXmlElements(const std::string& path, const char* element_name,
                      std::vector<XmlElement>* elements) {
  elements->clear();
  ComScope com;
  Held<IXMLDOMDocument2> document;
  HRESULT result = ::CoCreateInstance(kDomDocument40, nullptr, CLSCTX_ALL, kXmlDomDocument2,
                                      document.OutVoid());
  if (FAILED(result) || !document) {
    // Both take the same XPath queries, the default selection language of either.
    result = ::CoCreateInstance(kDomDocument60, nullptr, CLSCTX_ALL, kXmlDomDocument2,
                                document.OutVoid());
  }
  if (FAILED(result) || !document) return FAILED(result) ? static_cast<int>(result) : -1;
  document->put_async(VARIANT_FALSE);

  VARIANT source;
  ::VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = ::SysAllocString(Wide(path).c_str());
  VARIANT_BOOL loaded = VARIANT_FALSE;
  result = document->load(source, &loaded);
  ::VariantClear(&source);
  if (FAILED(result) || loaded != VARIANT_TRUE) return FAILED(result) ? static_cast<int>(result) : 1;

  const Bstr query(L"//" + Wide(element_name));
  Held<IXMLDOMNodeList> nodes;
  if (FAILED(document->selectNodes(query.get(), nodes.Out())) || !nodes) return 0;
  long count = 0;
  if (FAILED(nodes->get_length(&count))) return 0;
  for (long index = 0; index < count; ++index) {
    Held<IXMLDOMNode> node;
    if (FAILED(nodes->get_item(index, node.Out())) || !node) continue;
    XmlElement element;
    ReadAttributes(node.operator->(), &element);
    elements->push_back(std::move(element));
  }
  return 0;
}

}  // namespace flashwright::platform
