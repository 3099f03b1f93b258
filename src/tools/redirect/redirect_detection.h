#pragma once
// Turns one web address into the address it redirects to: first the Location header of an unfollowed
// probe, then a meta refresh or a script location assignment in the page. Failures of every kind
// (network, timeout, no redirect, conditional script in strict mode) come back as an empty text.

#include <string>
#include <string_view>

#include "foundation/http_client.h"

namespace chengling {

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
