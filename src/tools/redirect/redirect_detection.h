#pragma once
// Turns one web address into the address it redirects to: first the Location header of an unfollowed
// probe, then a meta refresh or a script location assignment in the page. Failures of every kind
// (network, timeout, no redirect, conditional script in strict mode) come back as an empty text.

#include <string>
#include <string_view>
#include <vector>

#include "foundation/http_client.h"

namespace chengling {

// One step of a chain: where an address led and how, or why it led nowhere.
struct Hop {
  std::string address;  // the address as requested: normalised by the probe
  std::string target;   // where it leads, made absolute; empty when it leads nowhere
  // How it leads there: the status of a Location answer ("301", "302", ...), "Refresh" for the
  // Refresh header, "meta" for a meta refresh, "script" for a script in the page.
  std::string kind;
  std::string reason;   // without a target: why, in a few words (internal text)
};

// Reasons of a failed address, as the user reads them (internal text).
extern const char* const kNoRedirectReason;    // 没有找到跳转
extern const char* const kTooManyHopsReason;   // 跳转过多
extern const char* const kLoopReason;          // 跳转循环
extern const char* const kEmptyAddressReason;  // 地址为空

// Why a request ended without a usable answer, from the client's report of it: 域名无法解析,
// 连接被拒绝, 连接超时, 证书无效, "HTTP 404", ...; empty for an answer that arrived with a status
// below 400.
std::string failureReason(const TransferReport& report);

// One hop from `url`, by the rules of ResolveAddress. With `looseMatch` (扩展模式) the hop also
// reads the Refresh header of the probe's answer and the script forms of looseScriptTarget, decodes
// character references in a target taken from the page, and joins targets as a browser does
// (resolveLoosely).
Hop resolveHop(HttpClient& http, std::string_view url, std::string_view userAgent, bool looseMatch);

// The target of a Refresh header or meta refresh content: "0; url=x", "5;URL='x'", "0, x";
// empty without a delay or a target. Quotes around the target are dropped.
std::string refreshTarget(std::string_view content);

// The first static target that `script` sends the page to: an assignment of a quoted text to
// location, location.href, or either behind window., document., top., self. or parent., or a call
// of location.replace or location.assign with one; quotes of any of the three kinds. A value that
// goes on ("'/x' + y") or a template with a placeholder is no static target. Escapes are undone.
std::string looseScriptTarget(std::string_view script);

// `text` with its HTML character references decoded (named &amp; &lt; &gt; &quot; &apos; &nbsp;,
// decimal and hexadecimal); anything else stays.
std::string decodeCharacterReferences(std::string_view text);

// `target` joined to `base` as a browser joins it: an address with a scheme stays, "//host/x" takes
// the scheme of `base`, "/x" its scheme and host, "?q" its address without query, anything else
// its directory (the path up to its last "/", the query left out); dot segments removed. Empty for
// a bare fragment or an empty target, which lead nowhere.
std::string resolveLoosely(std::string_view base, std::string_view target);

// The target of `url`, or empty. `url` is rewritten: normalised by the probe, and replaced by the
// target when the page announced it. A Location is resolved against `url` but not probed again.
std::string ResolveAddress(HttpClient& http, std::string& url, std::string_view userAgent,
                           bool looseMatch);

// `target` made absolute against `base`: kept when it holds "://"; "/x" takes the scheme and host of
// `base`; "//host/x" takes the scheme of `base`; anything else goes after the directory of `base`.
// The path of a joined address loses its "." and ".." segments, as a browser resolves them.
std::string ResolveRelative(std::string_view base, std::string_view target);

// An address line made ready to resolve: the spaces and tabs around it are removed. False when the
// line names a scheme other than http and https ("ftp://x", "mailto:a@b"): no request may be made
// for it. A scheme-less line ("a.example/x", "a.example:8080/x") stays for the probe to complete.
bool prepareAddress(std::string& url);

// Downloads `url` and returns the redirect its content announces (see contentRedirect); on success
// `url` becomes the target. Only the head of a long page is read (HttpClientOptions::pageHeadLimit):
// its head element and first script sit near its top.
std::string AnalyseContent(HttpClient& http, std::string& url, bool looseMatch);

// The redirect announced by `page`, resolved against `url`, or empty: a meta refresh of the head
// (noscript elements ignored; the whole page when there is no head), else a location assignment or
// window.navigate call in the first script of the page. A script holding a condition counts only
// with `looseMatch`.
std::string contentRedirect(std::string_view page, std::string_view url, bool looseMatch);

}  // namespace chengling
