// CMarkup: a small read-only XML document class. The document is parsed into one flat table
// of element positions (indexes into the text, no copies of names or text); the caller walks
// the elements of one level by name, steps into an element's children and reads an
// element's text.
//
// The text is taken in the narrow encoding, which is UTF-8 here: a multi-byte sequence is
// stepped over as one character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace flashwright {

class CMarkup {
 public:
  CMarkup();
  virtual ~CMarkup();
  CMarkup(const CMarkup&) = default;
  CMarkup& operator=(const CMarkup&) = default;

  // Replaces the document and parses it; true when it holds a well-formed root element (what
  // follows the root is not examined). Null counts as an empty document. Resets the walk.
  bool SetDocument(const char* text);
  // Moves to the next element of the current level after the current one (from the first one
  // when there is none); with a name, to the next one of that tag name. False, and nothing
  // changes, when there is none.
  bool FindElement(const char* name = nullptr);
  // Makes the current element the level that FindElement walks. False without a current one.
  bool EnterElement();
  // The text of the current element: empty when it has child elements or is empty; the body
  // of a leading CDATA section as it stands; otherwise the content with the five named
  // character references decoded and white space kept.
  std::string GetElementData() const;

  // The text of the last parse error, empty after a good parse.
  const std::string& GetError() const { return error_; }
  // 1 while there is a current element, else 0.
  int GetNodeType() const { return node_type_; }

 private:
  struct ElemPos {
    std::int32_t start_left = 0;
    std::int32_t start_right = 0;
    std::int32_t end_left = 0;
    std::int32_t end_right = 0;
    std::int32_t parent = 0;
    std::int32_t first_child = 0;
    std::int32_t next_sibling = 0;
  };
  struct Token {
    std::int32_t left = 0;
    std::int32_t right = -1;  // inclusive; right < left is an empty token
    std::int32_t next = 0;
    bool quoted = false;
  };

  // Node kinds that the markup-node scan reports.
  enum NodeKind : int {
    kNodeNone = 0,
    kNodeElement = 1,
    kNodeText = 2,
    kNodeWhitespace = 4,
    kNodeCdata = 8,
    kNodeProcessingInstruction = 16,
    kNodeComment = 32,
    kNodeDocumentType = 64,
  };

  std::int32_t Length() const { return static_cast<std::int32_t>(document_.size()); }
  std::int32_t NextChar(std::int32_t index) const;
  bool FindChar(std::int32_t* index, char c) const;
  bool FindText(std::int32_t* index, std::string_view text) const;
  bool SkipWhite(std::int32_t* index) const;
  bool NextToken(Token* token) const;
  std::string_view TokenText(const Token& token) const;
  static bool NameMatches(std::string_view token, std::string_view name);

  int ParseNode(std::int32_t* index) const;
  std::int32_t TakeEntry();
  std::int32_t ParseStartTag(std::int32_t parent, bool* empty, std::string_view* name);
  bool ParseEndTag(std::int32_t element, std::string_view name);
  std::int32_t ParseRoot();
  std::int32_t Fail(const char* text, std::string_view name = {});
  void ResetWalk();

  std::string document_;
  std::string error_;
  std::vector<ElemPos> positions_;
  std::int32_t parent_ = 0;
  std::int32_t current_ = 0;
  std::int32_t child_ = 0;
  std::int32_t free_ = 1;
  int node_type_ = 0;
};

}  // namespace flashwright
