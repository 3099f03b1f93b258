#include "tools/redirect/redirect_detection.h"

#include "foundation/internal_text.h"
#include "tools/redirect/html_text.h"

namespace chengling {
namespace {

std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The target named by a meta refresh in `scope`, unresolved; empty without one.
std::string metaRefreshLink(const HtmlText& html, std::string_view scope) {
  const std::string meta = html.FindElement(scope, "meta", {"http-equiv"}, {"Refresh"});
  if (meta.empty()) return {};
  const std::string content = html.AttributeValue(meta, "content");
  std::string link = TextBetween(content, "URL='", "'");
  if (link.empty()) link = TextBetween(content, "URL=", "");
  return link;
}

// The target that the first script of `page` assigns, unresolved; empty without one.
std::string scriptLink(const HtmlText& html, std::string_view page, bool looseMatch) {
  const std::string script = html.FindElement(page, "script");
  if (script.empty()) return {};
  std::string value;
  for (const char* name : {"location.href", "self.location", "window.location", "top.location"}) {
    value = html.AttributeValue(script, name);
    if (!value.empty()) break;
  }
  // window.navigate('/g') reads as the assignment window.navigate='/g')
  if (value.empty()) value = html.AttributeValue(replaceAll(script, "(", "="), "window.navigate");
  value = std::string(trimSpaces(value));
  const bool conditional = findIgnoringCase(script, "if(") != std::string::npos ||
                           findIgnoringCase(script, "if (") != std::string::npos;
  if (conditional && !looseMatch) return {};
  return value;
}

}  // namespace

std::string ResolveAddress(HttpClient& http, std::string& url, std::string_view userAgent,
                           bool looseMatch) {
  const std::string target = http.ProbeRedirect(url, userAgent);
  if (!target.empty()) return ResolveRelative(url, target);
  return AnalyseContent(http, url, looseMatch);
}

std::string ResolveRelative(std::string_view base, std::string_view target) {
  if (target.find("://") != std::string_view::npos) return std::string(target);
  const size_t schemeEnd = base.find("://");
  if (target.starts_with("//")) {
    // A scheme-relative address names its own host.
    const std::string_view scheme =
        schemeEnd == std::string_view::npos ? std::string_view("http:") : base.substr(0, schemeEnd + 1);
    return std::string(scheme) + std::string(target);
  }
  if (target.starts_with("/")) {
    const size_t slashes = base.find("//");
    const size_t hostStart = slashes == std::string_view::npos ? 0 : slashes + 2;
    size_t hostEnd = base.find('/', hostStart);
    if (hostEnd == std::string_view::npos) hostEnd = base.size();
    const std::string_view scheme =
        schemeEnd == std::string_view::npos ? std::string_view() : base.substr(0, schemeEnd + 3);
    return std::string(scheme) + std::string(base.substr(hostStart, hostEnd - hostStart)) +
           std::string(target);
  }
  const size_t pathFrom = schemeEnd == std::string_view::npos ? 0 : schemeEnd + 3;
  const size_t lastSlash = base.rfind('/');
  const std::string_view directory =
      lastSlash == std::string_view::npos || lastSlash < pathFrom ? base : base.substr(0, lastSlash);
  return std::string(directory) + "/" + std::string(target);
}

std::string contentRedirect(std::string_view page, std::string_view url, bool looseMatch) {
  if (page.empty()) return {};
  const HtmlText html;
  const std::string stripped = html.RemoveElements(page, "noscript");
  const std::string head = html.FindElement(stripped, "head");
  const std::string refresh = metaRefreshLink(html, head.empty() ? page : std::string_view(head));
  if (!refresh.empty()) return ResolveRelative(url, refresh);
  const std::string assigned = scriptLink(html, page, looseMatch);
  if (!assigned.empty()) return ResolveRelative(url, assigned);
  return {};
}

std::string AnalyseContent(HttpClient& http, std::string& url, bool looseMatch) {
  const std::string page = http.FetchPage(url);
  std::string target = contentRedirect(page, url, looseMatch);
  if (!target.empty()) url = target;
  return target;
}

}  // namespace chengling
