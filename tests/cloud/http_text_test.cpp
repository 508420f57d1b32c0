#include "cloud/http_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

TEST(SplitUrl, SplitsHostPortAndPath) {
  struct Case {
    std::string url;
    bool ok;
    bool secure = false;
    std::string host = "";
    int port = 0;
    std::string path = "";
  };
  for (const Case& c : std::vector<Case>{
           {"https://api.example.com", true, true, "api.example.com", 443, "/"},
           {"http://h/a/b?x=1&y=2#f", true, false, "h", 80, "/a/b?x=1&y=2#f"},
           {"HTTPS://h:8443/p", true, true, "h", 8443, "/p"},
           {"https://h?q=1", true, true, "h", 443, "/?q=1"},
           {"http://user:pw@h:81/", true, false, "h", 81, "/"},
           {"http://[::1]:8080/x", true, false, "::1", 8080, "/x"},
           {"h/path", false},
           {"ftp://h/file", false},
           {"https:///p", false},
           {"https://h:0/", false},
           {"https://h:65536/", false},
           {"https://h:8x/", false},
       }) {
    UrlParts parts;
    ASSERT_EQ(SplitUrl(c.url, parts), c.ok) << c.url;
    if (!c.ok) continue;
    EXPECT_EQ(parts.secure, c.secure) << c.url;
    EXPECT_EQ(parts.host, c.host) << c.url;
    EXPECT_EQ(parts.port, c.port) << c.url;
    EXPECT_EQ(parts.path, c.path) << c.url;
  }
}

TEST(VerbFor, CodesAndOutOfRange) {
  EXPECT_EQ(VerbFor(0), "GET");
  EXPECT_EQ(VerbFor(1), "POST");
  EXPECT_EQ(VerbFor(3), "PUT");
  EXPECT_EQ(VerbFor(7), "CONNECT");
  EXPECT_EQ(VerbFor(8), "GET");
  EXPECT_EQ(VerbFor(-1), "GET");
}

const std::string kUa =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n";
const std::string kAccept = "Accept: text/html, application/xhtml+xml, */*\r\n";
const std::string kRest = "Accept-Encoding: identity\r\nAccept-Language: zh-cn\r\n";
const std::string kForm = "Content-Type: application/x-www-form-urlencoded\r\n";
const std::string kCache = "Cache-Control: no-cache\r\n";

TEST(BuildHeaderBlock, CompletesNormalisesAndAppendsCookies) {
  struct Case {
    std::string headers;
    std::string cookies;
    HeaderOptions options;
    std::string expected;
  };
  for (const Case& c : std::vector<Case>{
           // Defaults for a GET, in order; no Content-Type.
           {"", "", {0, true, true}, kUa + kAccept + kRest + kCache},
           // A caller's User-Agent wins; POST adds Content-Type before Cache-Control.
           {"User-Agent: X",
            "",
            {1, true, true},
            "User-Agent: X\r\n" + kAccept + kRest + kForm + kCache},
           // PUT gets no Content-Type default.
           {"", "", {3, true, true}, kUa + kAccept + kRest + kCache},
           // The Content-Type key has no blank, so this line suppresses the default.
           {"content-type:text/plain",
            "",
            {1, true, true},
            "Content-Type:text/plain\r\n" + kUa + kAccept + kRest + kCache},
           // The Accept key has a blank, so "accept:text/plain" keeps the default as well.
           {"accept:text/plain",
            "",
            {0, true, true},
            "Accept:text/plain\r\n" + kUa + kAccept + kRest + kCache},
           // A key counts wherever it occurs, in a value too, in any case.
           {"X-Note: see USER-AGENT: below",
            "",
            {0, true, true},
            "X-Note: see USER-AGENT: below\r\n" + kAccept + kRest + kCache},
           // Names are capitalised piece by piece; lines without a colon go.
           {"entry: x\r\nx-token: y\r\nStoreid: 1\r\nno colon",
            "",
            {0, false, true},
            "Entry: x\r\nX-Token: y\r\nStoreid: 1\r\n"},
           {"no colon", "", {0, false, false}, "no colon\r\n"},
           // keep-alive is dropped after normalisation; close stays.
           {"connection: keep-alive\r\nA: 1", "", {0, false, true}, "A: 1\r\n"},
           {"Connection: close", "", {0, false, true}, "Connection: close\r\n"},
           // Cookies, bare or as a whole line, unless the block has a cookie line already.
           {"A: 1", "a=1; b=2", {0, false, true}, "A: 1\r\nCookie: a=1; b=2\r\n"},
           {"", "cookie: a=1", {0, false, true}, "cookie: a=1\r\n"},
           {"Cookie: z=9", "a=1", {0, false, true}, "Cookie: z=9\r\n"},
       }) {
    EXPECT_EQ(BuildHeaderBlock(c.headers, c.cookies, c.options), c.expected) << c.headers;
  }
}

TEST(NormaliseHeaderName, EachPieceCapitalised) {
  EXPECT_EQ(NormaliseHeaderName("x-token"), "X-Token");
  EXPECT_EQ(NormaliseHeaderName("accept-ENCODING"), "Accept-ENCODING");
  EXPECT_EQ(NormaliseHeaderName("a--b"), "A--B");
  EXPECT_EQ(NormaliseHeaderName(""), "");
}

TEST(StatusText, AfterTheProtocolWord) {
  EXPECT_EQ(StatusText("HTTP/1.1 200 OK\r\nA: b\r\n\r\n"), "200 OK");
  EXPECT_EQ(StatusText("HTTP/1.0 404 Not Found\r\n"), "404 Not Found");
  EXPECT_EQ(StatusText("HTTP/2 200\r\n"), "200");
  EXPECT_EQ(StatusText(""), "");
}

TEST(ScanResponseHeaders, CookiesAndLocation) {
  ResponseCookies r = ScanResponseHeaders(
      "HTTP/1.1 302 Found\r\nSet-Cookie: a=1; Path=/\r\nSet-Cookie:  b=2 \r\n"
      "set-cookie: c=3\r\nlocation: /first\r\nLocation: /second\r\n\r\n");
  EXPECT_EQ(r.cookies, "a=1; b=2");
  EXPECT_TRUE(r.hasLocation);
  EXPECT_EQ(r.location, "/second");
  EXPECT_FALSE(ScanResponseHeaders("HTTP/1.1 200 OK\r\n\r\n").hasLocation);
  EXPECT_EQ(ScanResponseHeaders("HTTP/1.1 200 OK\r\nset-cookie: a=1\r\n").cookies, "");
}

TEST(MergeCookies, NewWinsOldKeptDeletedAndDuplicatesDropped) {
  EXPECT_EQ(MergeCookies("a=1; b=2", "b=3; c=4"), "b=3; c=4; a=1");
  EXPECT_EQ(MergeCookies("a=1", "a=deleted"), "");
  EXPECT_EQ(MergeCookies(" a=1; ", ""), "a=1");
  EXPECT_EQ(MergeCookies("a=1; a=2", "c=3"), "c=3; a=1");
  EXPECT_EQ(MergeCookies("x=1", "c=3; c=3"), "c=3; x=1");
  EXPECT_EQ(MergeCookies("flag", "b=1"), "b=1; flag");
}

TEST(DeclaredCharset, OnlyWithinTheFirst1024Bytes) {
  EXPECT_EQ(DeclaredCharset("<html><META http-equiv=x content='text/html; charset=big5'>"), "big5");
  EXPECT_EQ(DeclaredCharset("<meta charset=\"UTF-8\">"), "UTF-8");
  EXPECT_EQ(DeclaredCharset("<p>no declaration</p>"), "");
  EXPECT_EQ(DeclaredCharset(std::string(1100, ' ') + "<meta charset=utf-8>"), "");
  // A zero byte ends the text that is searched.
  EXPECT_EQ(DeclaredCharset(std::string("ab\0<meta charset=utf-8>", 23)), "");
}

TEST(BodyText, DecodesDeclaredCharsetElseGbk) {
  const std::string gbk = "\xd6\xd0\xce\xc4";  // 中文
  const std::string utf8 = "中文";
  EXPECT_EQ(BodyText("<meta charset=utf-8>" + utf8), "<meta charset=utf-8>" + utf8);
  EXPECT_EQ(BodyText("<meta charset=GBK>" + gbk), "<meta charset=GBK>" + utf8);
  EXPECT_EQ(BodyText("<meta charset=gb2312>" + gbk), "<meta charset=gb2312>" + utf8);
  EXPECT_EQ(BodyText(gbk), utf8);
  // An unknown charset leaves the GBK reading.
  EXPECT_EQ(BodyText("<meta charset=x-nonsense>" + gbk), "<meta charset=x-nonsense>" + utf8);
  EXPECT_EQ(BodyText(""), "");
}

}  // namespace
}  // namespace qv
