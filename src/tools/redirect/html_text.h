#pragma once
// Just enough markup reading to find a redirect in a page: elements by tag name, attribute values
// and marked-out text. Every operation is a linear scan over internal text (GBK-safe: a search never
// starts inside a double-byte character), takes any bytes and never fails; "not found" is an empty
// text.

#include <string>
#include <string_view>
#include <vector>

namespace chengling {

// The text between the first `left` and the next `right` after it, both found ignoring ASCII case.
// An empty `right` runs to the end of the text. Empty when either marker is missing.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right);

// Markup helpers of one content analysis. Holds one rule: every "=" with up to 10 blanks (ASCII
// white space or the full-width space A1 A1) on either side is rewritten to a bare "=", so that
// `location.href = "x"` reads like `location.href="x"`.
class HtmlText {
 public:
  // The "=" rule applied to `text`.
  std::string collapseEquals(std::string_view text) const;

  // `text` without any element named `tag` (ASCII case ignored), each from its opening tag to its
  // matching closing tag; an element without a closing tag loses its opening tag only.
  std::string RemoveElements(std::string_view text, std::string_view tag) const;

  // The first element named `tag` whose attribute names[i] contains values[i] (ASCII case ignored)
  // for every i; the whole element, tags included, with the "=" rule applied. Nested elements of
  // the same name are counted to find the matching closing tag; a self-closing tag, or one that is
  // never closed, ends at its own ">". A longer name sharing the prefix ("metadata") is not `tag`.
  std::string FindElement(std::string_view text, std::string_view tag,
                          const std::vector<std::string>& names = {},
                          const std::vector<std::string>& values = {}) const;

  // The value assigned to `name` in `text`: double-quoted, single-quoted or bare, looked up first
  // after a space and then anywhere; trimmed of spaces; empty when absent or empty.
  std::string AttributeValue(std::string_view text, std::string_view name) const;
};

}  // namespace chengling
