#include "discovery/markup.h"

#include <cstring>
#include <limits>

namespace flashwright {
namespace {

// Positions are 32-bit indexes into the text; a longer document cannot be indexed.
constexpr std::size_t kMaxDocumentLength =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) - 16;

bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsTokenDelimiter(char c) {
  return IsWhite(c) || c == '<' || c == '>' || c == '=' || c == '\\' || c == '/' || c == '?' ||
         c == '!';
}

bool IsContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

struct CharacterReference {
  std::string_view name;  // after the "&"
  char decoded;
};
constexpr CharacterReference kReferences[] = {
    {"lt;", '<'}, {"amp;", '&'}, {"gt;", '>'}, {"apos;", '\''}, {"quot;", '"'},
};

}  // namespace

CMarkup::CMarkup() : positions_(8) {}

CMarkup::~CMarkup() = default;

std::int32_t CMarkup::NextChar(std::int32_t index) const {
  const std::int32_t length = Length();
  if (index >= length) return length;
  const auto lead = static_cast<unsigned char>(document_[static_cast<std::size_t>(index)]);
  std::int32_t size = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
  }
  // A broken sequence steps one byte, so that a stray lead byte never swallows markup.
  for (std::int32_t k = 1; k < size; ++k) {
    if (index + k >= length ||
        !IsContinuationByte(
            static_cast<unsigned char>(document_[static_cast<std::size_t>(index + k)]))) {
      return index + 1;
    }
  }
  return index + size;
}

bool CMarkup::FindChar(std::int32_t* index, char c) const {
  std::int32_t i = *index;
  const std::int32_t length = Length();
  while (i < length && document_[static_cast<std::size_t>(i)] != c) i = NextChar(i);
  *index = i;
  return i < length;
}

bool CMarkup::FindText(std::int32_t* index, std::string_view text) const {
  // The texts searched for start with an ASCII character, which never occurs inside a
  // multi-byte sequence, so a byte search lands on character boundaries.
  const std::size_t found = document_.find(text, static_cast<std::size_t>(*index));
  if (found == std::string::npos) {
    *index = Length();
    return false;
  }
  *index = static_cast<std::int32_t>(found);
  return true;
}

bool CMarkup::SkipWhite(std::int32_t* index) const {
  std::int32_t i = *index;
  const std::int32_t length = Length();
  while (i < length && IsWhite(document_[static_cast<std::size_t>(i)])) ++i;
  *index = i;
  return i < length;
}

bool CMarkup::NextToken(Token* token) const {
  std::int32_t i = token->next;
  if (!SkipWhite(&i)) {
    token->left = i;
    token->right = i - 1;
    token->next = i;
    token->quoted = false;
    return false;
  }
  const char c = document_[static_cast<std::size_t>(i)];
  if (c == '"' || c == '\'') {
    token->quoted = true;
    token->left = i + 1;
    std::int32_t j = i + 1;
    const bool closed = FindChar(&j, c);
    token->right = j - 1;
    token->next = closed ? j + 1 : j;
    return true;
  }
  token->quoted = false;
  token->left = i;
  std::int32_t j = i;
  const std::int32_t length = Length();
  while (j < length && !IsTokenDelimiter(document_[static_cast<std::size_t>(j)])) j = NextChar(j);
  if (j == i) j = NextChar(i);
  token->right = j - 1;
  token->next = j;
  return true;
}

std::string_view CMarkup::TokenText(const Token& token) const {
  if (token.right < token.left) return {};
  return std::string_view(document_).substr(static_cast<std::size_t>(token.left),
                                            static_cast<std::size_t>(token.right - token.left + 1));
}

bool CMarkup::NameMatches(std::string_view token, std::string_view name) {
  if (token.empty() || token.size() > name.size()) return false;
  if (name.compare(0, token.size(), token) != 0) return false;
  if (name.size() == token.size()) return true;
  const char following = name[token.size()];
  return following == ' ' || following == '=' || following == '/' || following == '[';
}

int CMarkup::ParseNode(std::int32_t* index) const {
  const std::int32_t i = *index;
  const std::int32_t length = Length();
  if (length - i < 3) return kNodeNone;
  const char first = document_[static_cast<std::size_t>(i + 1)];
  if (first == '?') {
    std::int32_t j = i + 2;
    if (!FindText(&j, "?>")) return kNodeNone;
    *index = j + 2;
    return kNodeProcessingInstruction;
  }
  if (first == '!') {
    const char second = document_[static_cast<std::size_t>(i + 2)];
    if (second == '[') {
      std::int32_t j = i + 3;
      *index = FindText(&j, "]]>") ? j + 3 : length;
      return kNodeCdata;
    }
    if (second == '-') {
      std::int32_t j = i + 3;
      *index = FindText(&j, "-->") ? j + 3 : length;
      return kNodeComment;
    }
    // A document type or other declaration: up to the ">" outside its bracketed subset.
    Token token;
    token.next = i + 2;
    int depth = 0;
    while (NextToken(&token)) {
      if (token.quoted) continue;
      const std::string_view text = TokenText(token);
      if (text == ">" && depth == 0) {
        *index = token.next;
        return kNodeDocumentType;
      }
      for (char c : text) {
        if (c == '[') ++depth;
        if (c == ']') --depth;
      }
    }
    return kNodeNone;
  }
  if (first == '/') return kNodeNone;
  return kNodeElement;
}

std::int32_t CMarkup::TakeEntry() {
  if (static_cast<std::size_t>(free_) >= positions_.size()) {
    positions_.resize(positions_.size() + static_cast<std::size_t>(free_ / 2 + 1));
  }
  const std::int32_t entry = free_++;
  positions_[static_cast<std::size_t>(entry)] = ElemPos{};
  return entry;
}

std::int32_t CMarkup::Fail(const char* text, std::string_view name) {
  error_ = text;
  const std::size_t field = error_.find("%s");
  if (field != std::string::npos) error_.replace(field, 2, name);
  return -1;
}

// Parses up to the end of the next start tag below `parent`: markup nodes on the way are
// skipped. Returns the new entry, 0 when the parent's end tag comes first, or -1.
std::int32_t CMarkup::ParseStartTag(std::int32_t parent, bool* empty, std::string_view* name) {
  const std::int32_t entry = TakeEntry();
  auto at = [this](std::int32_t e) -> ElemPos& { return positions_[static_cast<std::size_t>(e)]; };
  at(entry).start_left = at(parent).end_left;
  at(entry).parent = parent;
  std::int32_t close = 0;
  for (;;) {
    std::int32_t open = at(parent).end_left;
    if (!FindChar(&open, '<')) return Fail("Element tag not found");
    at(parent).end_left = open;
    at(entry).start_left = open;
    Token token;
    token.next = open + 1;
    if (!NextToken(&token)) return Fail("Abrupt end within tag");
    if (token.quoted) return Fail("Tag starts with quote");
    const char first = document_[static_cast<std::size_t>(token.left)];
    if (first == '?' || first == '!') {
      std::int32_t after = open;
      const int node = ParseNode(&after);
      // A node that does not move the scan on (as "< ?") would be found again forever.
      if (node == kNodeNone || after <= open) return Fail("Invalid node");
      at(parent).end_left = after;
      continue;
    }
    if (first == '/') {
      --free_;
      return 0;
    }
    *name = TokenText(token);
    close = token.next;
    if (!FindChar(&close, '>')) return Fail("End of tag not found");
    at(entry).start_right = close;
    break;
  }
  if (document_[static_cast<std::size_t>(close - 1)] == '/') {
    at(entry).end_left = close - 1;
    at(entry).end_right = close;
    *empty = true;
  } else {
    at(entry).end_left = close + 1;
    *empty = false;
  }
  return entry;
}

// Reads the end tag of `element` from its scan position.
bool CMarkup::ParseEndTag(std::int32_t element, std::string_view name) {
  ElemPos& pos = positions_[static_cast<std::size_t>(element)];
  std::int32_t open = pos.end_left;
  if (!FindChar(&open, '<')) {
    Fail("End tag of %s element not found", name);
    return false;
  }
  pos.end_left = open;
  Token token;
  token.next = open + 1;
  int count = 0;
  bool closed = false;
  while (NextToken(&token)) {
    if (token.quoted) {
      ++count;
      continue;
    }
    const std::string_view text = TokenText(token);
    if (text == ">") {
      closed = true;
      break;
    }
    ++count;
    if (count == 1 && text != "/") {
      Fail("Expecting end tag of element %s", name);
      return false;
    }
    if (count == 2 && !NameMatches(text, name)) {
      Fail("End tag does not correspond to %s", name);
      return false;
    }
  }
  if (!closed || count < 2) {
    Fail("End tag not completed for element %s", name);
    return false;
  }
  pos.end_right = token.left;
  return true;
}

// Parses one element below the document entry. Nesting is followed with an explicit stack,
// so a deeply nested document cannot exhaust the thread's stack.
std::int32_t CMarkup::ParseRoot() {
  struct OpenElement {
    std::int32_t element;
    std::int32_t last_child;
    std::string_view name;
  };
  std::vector<OpenElement> open;
  std::int32_t parent = 0;
  for (;;) {
    bool empty = false;
    std::string_view name;
    std::int32_t done = ParseStartTag(parent, &empty, &name);
    if (done < 0) return -1;
    if (done > 0 && !empty) {
      open.push_back({done, 0, name});
      parent = done;
      continue;
    }
    // `done` is a complete element, or 0 when the end tag of `parent` was reached.
    for (;;) {
      if (open.empty()) return done;
      OpenElement& top = open.back();
      if (done > 0) {
        if (top.last_child == 0) {
          positions_[static_cast<std::size_t>(top.element)].first_child = done;
        } else {
          positions_[static_cast<std::size_t>(top.last_child)].next_sibling = done;
        }
        top.last_child = done;
        positions_[static_cast<std::size_t>(top.element)].end_left =
            positions_[static_cast<std::size_t>(done)].end_right + 1;
        break;
      }
      if (!ParseEndTag(top.element, top.name)) return -1;
      done = top.element;
      open.pop_back();
    }
    parent = open.back().element;
  }
}

void CMarkup::ResetWalk() {
  parent_ = 0;
  current_ = 0;
  child_ = 0;
  node_type_ = 0;
}

bool CMarkup::SetDocument(const char* text) {
  free_ = 1;
  ResetWalk();
  error_.clear();
  document_ = text ? text : "";
  const std::size_t wanted = document_.size() / 64 + 8;
  if (positions_.size() < wanted) positions_.resize(wanted);
  bool well_formed = false;
  if (!document_.empty() && document_.size() <= kMaxDocumentLength) {
    positions_[0] = ElemPos{};
    const std::int32_t root = ParseRoot();
    if (root >= 1) {
      positions_[0].first_child = root;
      well_formed = true;
    }
  }
  if (!well_formed) {
    positions_[0] = ElemPos{};
    free_ = 1;
  }
  ResetWalk();
  return well_formed;
}

bool CMarkup::FindElement(const char* name) {
  if (positions_.empty()) return false;
  std::int32_t candidate = current_ != 0
                               ? positions_[static_cast<std::size_t>(current_)].next_sibling
                               : positions_[static_cast<std::size_t>(parent_)].first_child;
  if (name != nullptr && *name != '\0') {
    const std::string_view wanted(name);
    while (candidate != 0) {
      Token token;
      token.next = positions_[static_cast<std::size_t>(candidate)].start_left + 1;
      NextToken(&token);
      if (!token.quoted && NameMatches(TokenText(token), wanted)) break;
      candidate = positions_[static_cast<std::size_t>(candidate)].next_sibling;
    }
  }
  if (candidate == 0) return false;
  current_ = candidate;
  parent_ = positions_[static_cast<std::size_t>(candidate)].parent;
  child_ = 0;
  node_type_ = 1;
  return true;
}

bool CMarkup::EnterElement() {
  if (current_ == 0) return false;
  parent_ = current_;
  current_ = child_;
  child_ = 0;
  node_type_ = current_ != 0 ? 1 : 0;
  return true;
}

std::string CMarkup::GetElementData() const {
  if (current_ == 0) return {};
  const ElemPos& pos = positions_[static_cast<std::size_t>(current_)];
  if (pos.first_child != 0 || pos.start_right == pos.end_left + 1) return {};
  std::int32_t begin = pos.start_right + 1;
  const std::int32_t end = pos.end_left;  // exclusive
  if (begin >= end) return {};

  std::int32_t text = begin;
  SkipWhite(&text);
  constexpr std::string_view kCdataOpen = "<![CDATA[";
  if (document_.compare(static_cast<std::size_t>(text), kCdataOpen.size(), kCdataOpen) == 0 &&
      text + 11 < end) {
    const std::size_t body = static_cast<std::size_t>(text) + kCdataOpen.size();
    const std::size_t close = document_.find("]]>", body);
    if (close != std::string::npos && close < static_cast<std::size_t>(end)) {
      return document_.substr(body, close - body);
    }
  }

  std::string data;
  data.reserve(static_cast<std::size_t>(end - begin));
  std::size_t at = static_cast<std::size_t>(begin);
  const std::size_t stop = static_cast<std::size_t>(end);
  while (at < stop) {
    const char c = document_[at];
    if (c != '&') {
      data += c;
      ++at;
      continue;
    }
    bool decoded = false;
    for (const CharacterReference& reference : kReferences) {
      if (at + 1 + reference.name.size() <= stop &&
          document_.compare(at + 1, reference.name.size(), reference.name) == 0) {
        data += reference.decoded;
        at += 1 + reference.name.size();
        decoded = true;
        break;
      }
    }
    if (!decoded) {
      data += '&';
      ++at;
    }
  }
  return data;
}

}  // namespace flashwright
