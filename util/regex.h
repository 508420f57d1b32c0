// RegexSearch: one regular expression run over one subject text, with the matches and their
// capture groups read back afterwards.
//
// The grammar is ECMAScript's (std::regex), searched over the subject as Unicode text: the
// UTF-8 subject is decoded first, so "." takes a whole character and non-ASCII characters are
// never "\w" (which is exactly [A-Za-z0-9_]). Texts handed in and given out are UTF-8; match
// positions are byte positions in the UTF-8 subject.
//
// Typical use, finding the charset that an HTML page declares:
//
//   qv::RegexSearch re;
//   if (re.Search("<meta.+?charset=[^\\w]?([-\\w]+)", head)) {  // default options
//     std::string charset = re.GroupText(1, 1);                   // "" when no meta tag
//   }
//
// No operation throws. A copy is a second handle on the same state: a Search through one
// handle is seen through the other.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

struct RegexOptions {
  bool caseSensitive = false;  // default: letters match either case
  bool multiLine = true;       // "^" and "$" also match at line breaks
  bool global = true;          // collect every non-overlapping match, not only the first
  bool quoteMarker = false;    // replace each "#引号" in the pattern by a double quote first
};

class RegexSearch {
 public:
  // Longest subject, in bytes, that Search accepts; longer subjects make Search return false.
  // std::regex matches by recursion whose depth grows with the subject, and a Windows
  // program's main thread has 2 MiB of stack. A repeated group is the costly case (about
  // 600 bytes of stack per character in a Debug build, several KiB under AddressSanitizer);
  // plain classes and ".+?" cost far less. This bound keeps the 1024-byte HTML heads the HTTP
  // client searches clear of an overflow with room to spare.
  static constexpr std::size_t kMaxSubjectBytes = 2048;

  RegexSearch();

  // Compiles `pattern` and collects the matches in `subject` (invalid UTF-8 is read
  // leniently). True when the search ran, even with zero matches; false when the pattern does
  // not compile or the subject is too long, leaving no matches.
  // Example with options: Search(p, s, {.caseSensitive = true, .global = false}).
  bool Search(std::string_view pattern, std::string_view subject, RegexOptions options = {});

  // The pattern of the last Search (after the quote-marker replacement); empty before any.
  std::string GetPattern() const;

  // The subject with the matches (every match when global, else the first) replaced; "$1".."$9"
  // stand for capture groups, "$&" for the whole match, "$$" for "$". Empty before any Search.
  std::string Replace(std::string_view replacement) const;

  // Number of matches of the last Search.
  int MatchCount() const;

  // Text of match `match` (1-based); empty when out of range. `position`, when given, receives
  // the byte position of the match in the subject, or -1 when out of range.
  std::string MatchText(int match, int* position = nullptr) const;

  // Text of capture group `group` (1-based) of match `match` (1-based); empty when either is
  // out of range or the group took no part. `position` as for MatchText (-1 when no text).
  std::string GroupText(int match, int group, int* position = nullptr) const;

  // Number of capture groups of the pattern when there is at least one match, else 0.
  int GroupCount() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace qv
