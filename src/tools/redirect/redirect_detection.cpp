#include "tools/redirect/redirect_detection.h"

#include <semaphore>

#include "foundation/internal_text.h"
#include "tools/redirect/html_text.h"

namespace chengling {
namespace {

std::string_view trimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// A scheme name: a letter, then letters, digits, "+", "-" and ".".
bool isSchemeName(std::string_view text) {
  if (text.empty() || !isAsciiLetter(text.front())) return false;
  for (const char c : text) {
    if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

bool isWebScheme(std::string_view scheme) {
  const std::string lower = asciiLower(scheme);
  return lower == "http" || lower == "https";
}

// True when `url` begins with a scheme other than http and https. Before "://" any text counts as a
// scheme; a bare "name:" does too, unless digits follow up to the path (a host and its port).
bool namesOtherScheme(std::string_view url) {
  const size_t colon = url.find_first_of(":/?#");
  if (colon == std::string_view::npos || url[colon] != ':') return false;
  const std::string_view scheme = url.substr(0, colon);
  if (isWebScheme(scheme)) return false;
  const std::string_view rest = url.substr(colon + 1);
  if (rest.starts_with("//")) return true;
  if (!isSchemeName(scheme)) return false;
  const size_t portEnd = rest.find_first_not_of("0123456789");
  return portEnd != std::string_view::npos && rest.find_first_of("/?#") != portEnd;
}

// `target` after the scheme and host or the directory of `base`, by the rules of ResolveRelative.
std::string joinedAddress(std::string_view base, std::string_view target) {
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

// RFC 3986, section 5.2.4: the path without its "." and ".." segments; ".." never climbs above the
// root.
std::string removeDotSegments(std::string_view path) {
  std::string output;
  std::string_view input = path;
  const auto dropLastSegment = [&output] {
    const size_t slash = output.rfind('/');
    output.erase(slash == std::string::npos ? 0 : slash);
  };
  while (!input.empty()) {
    if (input.starts_with("../")) {
      input.remove_prefix(3);
    } else if (input.starts_with("./")) {
      input.remove_prefix(2);
    } else if (input.starts_with("/./")) {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.starts_with("/../")) {
      input.remove_prefix(3);
      dropLastSegment();
    } else if (input == "/..") {
      input = "/";
      dropLastSegment();
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      const size_t end = input.find('/', 1);
      const size_t length = end == std::string_view::npos ? input.size() : end;
      output.append(input.substr(0, length));
      input.remove_prefix(length);
    }
  }
  return output;
}

// `address` with the dot segments of its path removed. The path starts at the first "/" after the
// host (after "://", or at the start without one) and ends before "?" or "#".
std::string withoutDotSegments(std::string address) {
  const size_t schemeEnd = address.find("://");
  const size_t hostStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
  const size_t pathStart = address.find_first_of("/?#", hostStart);
  if (pathStart == std::string::npos || address[pathStart] != '/') return address;
  size_t pathEnd = address.find_first_of("?#", pathStart);
  if (pathEnd == std::string::npos) pathEnd = address.size();
  const std::string_view path = std::string_view(address).substr(pathStart, pathEnd - pathStart);
  if (path.find('.') == std::string_view::npos) return address;
  return address.replace(pathStart, pathEnd - pathStart, removeDotSegments(path));
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

// Pages decoded and examined at the same time, process-wide, whatever the number of downloads in
// flight: examining a page takes several times its size for a moment (the decoded text, the text
// without noscript elements, the spans of the elements sought), while a download waiting for its
// turn holds no more than the head of its page.
constexpr std::ptrdiff_t kPagesExaminedAtOnce = 2;

// One turn at examining a page, held for its lifetime.
class ExaminationTurn {
 public:
  ExaminationTurn() { turns().acquire(); }
  ~ExaminationTurn() { turns().release(); }
  ExaminationTurn(const ExaminationTurn&) = delete;
  ExaminationTurn& operator=(const ExaminationTurn&) = delete;

 private:
  static std::counting_semaphore<kPagesExaminedAtOnce>& turns() {
    static std::counting_semaphore<kPagesExaminedAtOnce> semaphore(kPagesExaminedAtOnce);
    return semaphore;
  }
};

}  // namespace

std::string ResolveAddress(HttpClient& http, std::string& url, std::string_view userAgent,
                           bool looseMatch) {
  const std::string target = http.ProbeRedirect(url, userAgent);
  if (!target.empty()) return ResolveRelative(url, target);
  return AnalyseContent(http, url, looseMatch);
}

bool prepareAddress(std::string& url) {
  const size_t first = url.find_first_not_of(" \t");
  if (first == std::string::npos) {
    url.clear();
    return true;
  }
  url.erase(url.find_last_not_of(" \t") + 1);
  url.erase(0, first);
  return !namesOtherScheme(url);
}

std::string ResolveRelative(std::string_view base, std::string_view target) {
  if (target.find("://") != std::string_view::npos) return std::string(target);
  return withoutDotSegments(joinedAddress(base, target));
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
  const PageHead head = http.FetchPageHead(url);
  if (!head.ok) return {};
  std::string target;
  {
    const ExaminationTurn turn;
    target = contentRedirect(head.text(), url, looseMatch);
  }
  if (!target.empty()) url = target;
  return target;
}

}  // namespace chengling
