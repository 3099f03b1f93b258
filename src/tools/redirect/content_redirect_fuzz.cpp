// libFuzzer target: any page bytes go through the markup reading and redirect detection without a
// crash, a hang or a leak, and whatever comes back is built from the page and the base address.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tools/redirect/html_text.h"
#include "tools/redirect/redirect_detection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view page(reinterpret_cast<const char*>(data), size);
  const chengling::HtmlText html;
  const std::string stripped = html.RemoveElements(page, "noscript");
  if (stripped.size() > page.size()) __builtin_trap();
  const std::string collapsed = html.collapseEquals(page);
  if (collapsed.size() > page.size()) __builtin_trap();
  (void)html.FindElement(page, "meta", {"http-equiv"}, {"Refresh"});
  (void)html.AttributeValue(page, "location.href");
  (void)chengling::TextBetween(page, "URL='", "'");
  if (chengling::refreshTarget(page).size() > page.size()) __builtin_trap();
  if (chengling::looseScriptTarget(page).size() > page.size()) __builtin_trap();
  if (chengling::decodeCharacterReferences(page).size() > page.size()) __builtin_trap();
  if (chengling::resolveLoosely("http://a.example/p/q?r", page).size() > page.size() + 64) __builtin_trap();
  for (bool loose : {false, true}) {
    const std::string target = chengling::contentRedirect(page, "http://a.example/p/q", loose);
    if (target.size() > page.size() + 64) __builtin_trap();
  }
  return 0;
}
