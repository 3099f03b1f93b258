#include "tools/redirect/redirect_detection.h"

#include <algorithm>
#include <iterator>
#include <semaphore>

#include "foundation/internal_text.h"
#include "foundation/native_text.h"
#include "foundation/utf8.h"
#include "tools/redirect/html_text.h"

namespace chengling {
namespace {

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

// The target that the first script of `page` assigns, unresolved; empty without one. `guarded`
// tells that a target was dropped for the condition in its script.
std::string scriptLink(const HtmlText& html, std::string_view page, bool looseMatch,
                       bool* guarded = nullptr) {
  const std::string script = html.FindElement(page, "script");
  if (script.empty()) return {};
  if (looseMatch) {
    std::string found = looseScriptTarget(script);
    if (!found.empty()) return found;
  }
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
  if (conditional && !looseMatch) {
    if (guarded != nullptr) *guarded = !value.empty();
    return {};
  }
  return value;
}

// A target read from a page in 扩展模式: character references decoded, and only an address a
// browser would go to: a script run in place ("javascript:void(0)"), inline data or a blank page is
// none, nor is a bare fragment. An app's own scheme ("weixin://...") is one, and ends a chain.
std::string usableLooseTarget(std::string_view base, std::string_view raw) {
  const std::string target = std::string(trimSpaces(decodeCharacterReferences(raw)));
  const size_t colon = target.find(':');
  if (colon != std::string::npos && isSchemeName(target.substr(0, colon))) {
    const std::string scheme = asciiLower(target.substr(0, colon));
    for (const char* inPlace : {"javascript", "vbscript", "data", "about", "blob"}) {
      if (scheme == inPlace) return {};
    }
  }
  return resolveLoosely(base, target);
}

struct ContentFinding {
  std::string target;  // resolved
  const char* kind = "";
  bool guarded = false;  // a script target dropped for its condition
};

ContentFinding findInContent(std::string_view page, std::string_view url, bool looseMatch) {
  ContentFinding finding;
  if (page.empty()) return finding;
  const HtmlText html;
  const std::string stripped = html.RemoveElements(page, "noscript");
  const std::string head = html.FindElement(stripped, "head");
  const std::string_view scope = head.empty() ? page : std::string_view(head);
  if (looseMatch) {
    const std::string meta = html.FindElement(scope, "meta", {"http-equiv"}, {"Refresh"});
    std::string link = meta.empty() ? std::string() : refreshTarget(html.AttributeValue(meta, "content"));
    if (link.empty()) link = metaRefreshLink(html, scope);
    if (!link.empty()) {
      finding.target = usableLooseTarget(url, link);
      finding.kind = "meta";
      if (!finding.target.empty()) return finding;
    }
    const std::string assigned = scriptLink(html, page, true);
    finding.target = assigned.empty() ? std::string() : usableLooseTarget(url, assigned);
    finding.kind = "script";
    return finding;
  }
  const std::string refresh = metaRefreshLink(html, scope);
  if (!refresh.empty()) {
    finding.target = ResolveRelative(url, refresh);
    finding.kind = "meta";
    return finding;
  }
  const std::string assigned = scriptLink(html, page, false, &finding.guarded);
  if (!assigned.empty()) {
    finding.target = ResolveRelative(url, assigned);
    finding.kind = "script";
  }
  return finding;
}

bool isIdentifierChar(char c) {
  return isAsciiLetter(c) || isAsciiDigit(c) || c == '_' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

size_t skipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' ||
                              text[at] == '\n')) {
    ++at;
  }
  return at;
}

// The quoted text at `at` (after its quote), escapes undone; `at` moves past the closing quote.
// False when there is no quoted text there or it holds a placeholder.
bool readQuoted(std::string_view text, size_t& at, std::string& value) {
  if (at >= text.size()) return false;
  const char quote = text[at];
  if (quote != '"' && quote != '\'' && quote != '`') return false;
  value.clear();
  for (size_t i = at + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == quote) {
      at = i + 1;
      return true;
    }
    if (c == '\n' && quote != '`') return false;
    if (quote == '`' && c == '$' && i + 1 < text.size() && text[i + 1] == '{') return false;
    if (byteUnitLengthAt(text, i) == 2) {
      value.append(text.substr(i, 2));
      ++i;
      continue;
    }
    if (c != '\\' || i + 1 >= text.size()) {
      value += c;
      continue;
    }
    const char next = text[++i];
    const auto hexAt = [&](size_t from, size_t count, unsigned& code) {
      if (from + count > text.size()) return false;
      code = 0;
      for (size_t k = from; k < from + count; ++k) {
        const char h = text[k];
        const int digit = isAsciiDigit(h) ? h - '0'
                          : (h >= 'a' && h <= 'f') ? h - 'a' + 10
                          : (h >= 'A' && h <= 'F') ? h - 'A' + 10
                                                   : -1;
        if (digit < 0) return false;
        code = code * 16 + static_cast<unsigned>(digit);
      }
      return true;
    };
    unsigned code = 0;
    if (next == 'u' && hexAt(i + 1, 4, code) && code > 0 && code < 0x80) {
      value += static_cast<char>(code);
      i += 4;
    } else if (next == 'x' && hexAt(i + 1, 2, code) && code > 0 && code < 0x80) {
      value += static_cast<char>(code);
      i += 2;
    } else if (next == 'n' || next == 'r' || next == 't') {
      // a line break inside an address is no address
      return false;
    } else {
      value += next;
    }
  }
  return false;
}

// True when a value that ended just before `at` ends its statement there: nothing joins or
// continues it.
bool valueEndsAt(std::string_view text, size_t at) {
  at = skipBlanks(text, at);
  return at >= text.size() || std::string_view("+.[?(`\"'").find(text[at]) == std::string_view::npos;
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

const char* const kNoRedirectReason = "没有找到跳转";
const char* const kTooManyHopsReason = "跳转过多";
const char* const kLoopReason = "跳转循环";
const char* const kEmptyAddressReason = "地址为空";

std::string failureReason(const TransferReport& report) {
  switch (report.failure) {
    case HttpFailure::None:
      return report.status >= 400 ? "HTTP " + std::to_string(report.status) : std::string();
    case HttpFailure::NoAddress:
      return "地址无效";
    case HttpFailure::HostNotFound:
      return "域名无法解析";
    case HttpFailure::ConnectionRefused:
      return "连接被拒绝";
    case HttpFailure::CannotConnect:
      return "无法连接";
    case HttpFailure::TimedOut:
      return "连接超时";
    case HttpFailure::BadCertificate:
      return "证书无效";
    case HttpFailure::SecureConnectionFailed:
      return "安全连接失败";
    case HttpFailure::ConnectionBroken:
      return "连接中断";
    case HttpFailure::TooLarge:
      return "页面过大";
    case HttpFailure::TooManyRedirects:
      return kTooManyHopsReason;
    case HttpFailure::Aborted:
      return "已停止";
    case HttpFailure::Other:
      break;
  }
  return "网络错误（" + std::to_string(report.errorCode) + "）";
}

Hop resolveHop(HttpClient& http, std::string_view url, std::string_view userAgent, bool looseMatch) {
  Hop hop;
  hop.address = std::string(url);
  const std::string location = http.ProbeRedirect(hop.address, userAgent);
  const TransferReport probe = http.lastReport();
  if (!location.empty()) {
    hop.target = looseMatch ? resolveLoosely(hop.address, location) : ResolveRelative(hop.address, location);
    hop.kind = std::to_string(probe.status);
    if (!hop.target.empty()) return hop;
  }
  if (looseMatch && !probe.refresh.empty()) {
    hop.target = resolveLoosely(hop.address, refreshTarget(probe.refresh));
    hop.kind = "Refresh";
    if (!hop.target.empty()) return hop;
  }
  std::string pageUrl = hop.address;
  const PageHead head = http.FetchPageHead(pageUrl);
  const TransferReport page = http.lastReport();
  ContentFinding finding;
  if (head.ok) {
    const ExaminationTurn turn;
    finding = findInContent(head.text(), pageUrl, looseMatch);
  }
  if (!finding.target.empty()) {
    hop.target = std::move(finding.target);
    hop.kind = finding.kind;
    return hop;
  }
  hop.kind.clear();
  if (trimSpaces(url).empty()) {
    hop.reason = kEmptyAddressReason;
    return hop;
  }
  // The page's own failure says most; else an error status of either answer; else no redirect.
  hop.reason = failureReason(page);
  if (hop.reason.empty() && probe.failure == HttpFailure::None) hop.reason = failureReason(probe);
  if (hop.reason.empty() && finding.guarded) hop.reason = "跳转在条件脚本中（可用扩展模式）";
  if (hop.reason.empty()) hop.reason = kNoRedirectReason;
  return hop;
}

std::string ResolveAddress(HttpClient& http, std::string& url, std::string_view userAgent,
                           bool looseMatch) {
  Hop hop = resolveHop(http, url, userAgent, looseMatch);
  // A redirect announced by the page stands for the page's address from then on.
  url = hop.kind == "meta" || hop.kind == "script" ? hop.target : hop.address;
  return hop.target;
}

std::string refreshTarget(std::string_view content) {
  size_t at = skipBlanks(content, 0);
  const size_t delayStart = at;
  while (at < content.size() && (isAsciiDigit(content[at]) || content[at] == '.')) ++at;
  if (at == delayStart) return {};
  at = skipBlanks(content, at);
  if (at < content.size() && (content[at] == ';' || content[at] == ',')) ++at;
  at = skipBlanks(content, at);
  if (at + 3 <= content.size() && asciiLower(content.substr(at, 3)) == "url") {
    const size_t equals = skipBlanks(content, at + 3);
    if (equals < content.size() && content[equals] == '=') at = skipBlanks(content, equals + 1);
  }
  std::string_view rest = content.substr(std::min(at, content.size()));
  if (!rest.empty() && (rest.front() == '\'' || rest.front() == '"')) {
    const size_t close = rest.find(rest.front(), 1);
    rest = rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
  }
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
  return std::string(rest);
}

std::string looseScriptTarget(std::string_view script) {
  static constexpr std::string_view kOwners[] = {"window", "document", "top", "self", "parent"};
  for (size_t pos = script.find("location"); pos != std::string_view::npos;
       pos = script.find("location", pos + 1)) {
    if (pos > 0 && isIdentifierChar(script[pos - 1])) continue;
    if (pos > 0 && script[pos - 1] == '.') {
      size_t ownerStart = pos - 1;
      while (ownerStart > 0 && isIdentifierChar(script[ownerStart - 1])) --ownerStart;
      const std::string_view owner = script.substr(ownerStart, pos - 1 - ownerStart);
      if (std::find(std::begin(kOwners), std::end(kOwners), owner) == std::end(kOwners)) continue;
      if (ownerStart > 0 && script[ownerStart - 1] == '.') continue;
    }
    size_t at = pos + 8;
    bool href = false;
    if (script.substr(at).starts_with(".href") &&
        (at + 5 >= script.size() || !isIdentifierChar(script[at + 5]))) {
      at += 5;
      href = true;
    }
    at = skipBlanks(script, at);
    std::string value;
    if (at < script.size() && script[at] == '=' && (at + 1 >= script.size() || script[at + 1] != '=')) {
      at = skipBlanks(script, at + 1);
      if (readQuoted(script, at, value) && valueEndsAt(script, at) && !value.empty()) return value;
      continue;
    }
    if (href) continue;
    for (const std::string_view call : {std::string_view(".replace"), std::string_view(".assign")}) {
      if (!script.substr(at).starts_with(call)) continue;
      size_t arg = skipBlanks(script, at + call.size());
      if (arg >= script.size() || script[arg] != '(') break;
      arg = skipBlanks(script, arg + 1);
      if (!readQuoted(script, arg, value)) break;
      arg = skipBlanks(script, arg);
      if (arg < script.size() && script[arg] == ')' && !value.empty()) return value;
      break;
    }
  }
  return {};
}

std::string decodeCharacterReferences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (byteUnitLengthAt(text, i) == 2) {
      out.append(text.substr(i, 2));
      i += 2;
      continue;
    }
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    const size_t semicolon = text.find(';', i + 1);
    if (semicolon == std::string_view::npos || semicolon - i > 10) {
      out += text[i++];
      continue;
    }
    const std::string_view name = text.substr(i + 1, semicolon - i - 1);
    std::string decoded;
    if (name == "amp") decoded = "&";
    else if (name == "lt") decoded = "<";
    else if (name == "gt") decoded = ">";
    else if (name == "quot") decoded = "\"";
    else if (name == "apos") decoded = "'";
    else if (name == "nbsp") decoded = " ";
    else if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x' || name[1] == 'X';
      const std::string_view digits = name.substr(hex ? 2 : 1);
      unsigned long code = 0;
      bool valid = !digits.empty();
      for (const char c : digits) {
        int digit = -1;
        if (isAsciiDigit(c)) digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0 || code > 0x10FFFF) {
          valid = false;
          break;
        }
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
      }
      if (valid && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF)) {
        std::string utf8;
        appendUtf8(static_cast<char32_t>(code), utf8);
        decoded = code < 0x80 ? utf8 : internalFromUtf8(utf8);
      }
    }
    if (decoded.empty()) {
      out += text[i++];
      continue;
    }
    out += decoded;
    i = semicolon + 1;
  }
  return out;
}

std::string resolveLoosely(std::string_view base, std::string_view target) {
  target = trimSpaces(target);
  while (!target.empty() && (target.front() == '\t' || target.front() == '\r' || target.front() == '\n')) {
    target.remove_prefix(1);
  }
  if (target.empty() || target.front() == '#') return {};
  const size_t colon = target.find_first_of(":/?#");
  if (colon != std::string_view::npos && target[colon] == ':' && isSchemeName(target.substr(0, colon))) {
    return std::string(target);
  }
  // The base without its query and fragment: a relative target replaces them.
  const std::string_view bare = base.substr(0, std::min(base.find_first_of("?#"), base.size()));
  if (target.front() == '?') return std::string(bare) + std::string(target);
  return withoutDotSegments(joinedAddress(bare, target));
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
  return findInContent(page, url, looseMatch).target;
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
