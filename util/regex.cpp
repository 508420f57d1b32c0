#include "util/regex.h"

#include <cstdint>
#include <exception>
#include <regex>
#include <vector>

#include "util/text.h"
#include "util/utf8.h"

namespace qv {
namespace {

// The marker that callers write where a double quote is awkward to put into a pattern.
constexpr std::string_view kQuoteMarker = "#引号";

// std::regex_traits<wchar_t> classifies characters with the C library of the platform, which
// calls CJK letters alphanumeric on Windows and not on Linux. The searches here follow
// ECMAScript instead on both: "\w" and "\d" are ASCII only, "\s" also takes the Unicode spaces.
class EcmaTraits : public std::regex_traits<wchar_t> {
 public:
  bool isctype(wchar_t c, char_class_type mask) const {
    if (static_cast<uint32_t>(c) < 0x80) return std::regex_traits<wchar_t>::isctype(c, mask);
    static const wchar_t kSpace[] = L"s";
    const char_class_type space = lookup_classname(kSpace, kSpace + 1);
    return (mask & space) == space && IsUnicodeSpace(static_cast<uint32_t>(c));
  }

 private:
  static bool IsUnicodeSpace(uint32_t c) {
    return c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
  }
};

using WideRegex = std::basic_regex<wchar_t, EcmaTraits>;
using WideIterator = std::wstring::const_iterator;
using WideMatch = std::match_results<WideIterator>;

// A subject decoded for the wide regex, with the byte offset in the UTF-8 text of every wide
// unit (and one past the end), so that matches map back onto the caller's bytes exactly.
struct WideText {
  std::wstring text;
  std::vector<std::size_t> byteOffset;
};

// Decodes UTF-8 leniently: each byte of an ill-formed sequence becomes U+FFFD. On Windows
// wchar_t is UTF-16, so characters beyond U+FFFF take two units.
WideText Widen(std::string_view utf8) {
  WideText out;
  out.text.reserve(utf8.size());
  out.byteOffset.reserve(utf8.size() + 1);
  const char* const end = utf8.data() + utf8.size();
  std::size_t i = 0;
  while (i < utf8.size()) {
    const Utf8Step step = StepUtf8(utf8.data() + i, end);
    const std::size_t len = step.wellFormed ? step.length : 1;
    uint32_t cp = step.wellFormed ? CodePointAt(utf8.data() + i, len) : kReplacementCharacter;
    if constexpr (sizeof(wchar_t) == 2) {
      if (cp >= 0x10000) {
        cp -= 0x10000;
        out.text.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.byteOffset.push_back(i);
        cp = 0xDC00 + (cp & 0x3FF);
      }
    }
    out.text.push_back(static_cast<wchar_t>(cp));
    out.byteOffset.push_back(i);
    i += len;
  }
  out.byteOffset.push_back(utf8.size());
  return out;
}

}  // namespace

struct RegexSearch::State {
  // One capture (index 0: the whole match) as a byte range of the subject.
  struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool matched = false;
  };

  std::string pattern;
  std::string subject;
  int groupCount = 0;
  std::vector<std::vector<Span>> matches;

  const Span* Find(int match, int group) const {
    if (match < 1 || match > static_cast<int>(matches.size())) return nullptr;
    const std::vector<Span>& spans = matches[match - 1];
    if (group < 0 || group >= static_cast<int>(spans.size())) return nullptr;
    return spans[group].matched ? &spans[group] : nullptr;
  }

  std::string Text(const Span& span) const {
    return subject.substr(span.begin, span.end - span.begin);
  }

  std::string Read(int match, int group, int* position) const {
    const Span* span = Find(match, group);
    if (position) *position = span ? static_cast<int>(span->begin) : -1;
    return span ? Text(*span) : std::string();
  }
};

RegexSearch::RegexSearch() : state_(std::make_shared<State>()) {}

bool RegexSearch::Search(std::string_view pattern, std::string_view subject, RegexOptions options) {
  State& s = *state_;
  s = State{};
  s.pattern = options.quoteMarker ? ReplaceAll(pattern, kQuoteMarker, "\"") : std::string(pattern);
  if (subject.size() > kMaxSubjectBytes) return false;

  auto flags = std::regex_constants::ECMAScript;
  if (!options.caseSensitive) flags |= std::regex_constants::icase;
  if (options.multiLine) flags |= std::regex_constants::multiline;

  // std::regex reports a bad pattern, and a match that exhausts its limits, by throwing;
  // here both mean "the search did not run".
  try {
    const WideRegex regex(Widen(s.pattern).text, flags);
    const WideText wide = Widen(subject);
    std::vector<std::vector<State::Span>> found;
    const auto collect = [&](const WideMatch& m) {
      std::vector<State::Span>& spans = found.emplace_back(m.size());
      for (std::size_t g = 0; g < m.size(); ++g) {
        if (!m[g].matched) continue;
        const auto begin = static_cast<std::size_t>(m[g].first - wide.text.begin());
        const auto end = static_cast<std::size_t>(m[g].second - wide.text.begin());
        spans[g] = {wide.byteOffset[begin], wide.byteOffset[end], true};
      }
    };
    if (options.global) {
      using Iterator = std::regex_iterator<WideIterator, wchar_t, EcmaTraits>;
      for (Iterator it(wide.text.begin(), wide.text.end(), regex), end; it != end; ++it) {
        collect(*it);
      }
    } else if (WideMatch m; std::regex_search(wide.text, m, regex)) {
      collect(m);
    }
    s.subject = std::string(subject);
    s.groupCount = found.empty() ? 0 : static_cast<int>(regex.mark_count());
    s.matches = std::move(found);
    return true;
  } catch (const std::exception&) {
    s.matches.clear();
    return false;
  }
}

std::string RegexSearch::GetPattern() const { return state_->pattern; }

std::string RegexSearch::Replace(std::string_view replacement) const {
  const State& s = *state_;
  std::string out;
  std::size_t copied = 0;
  for (const std::vector<State::Span>& spans : s.matches) {
    out.append(s.subject, copied, spans[0].begin - copied);
    for (std::size_t i = 0; i < replacement.size(); ++i) {
      const char c = replacement[i];
      const char next = i + 1 < replacement.size() ? replacement[i + 1] : '\0';
      if (c == '$' && next == '$') {
        out.push_back('$');
        ++i;
      } else if (c == '$' && next == '&') {
        out.append(s.Text(spans[0]));
        ++i;
      } else if (c == '$' && next >= '1' && next <= '9' &&
                 static_cast<std::size_t>(next - '0') < spans.size()) {
        const State::Span& group = spans[next - '0'];
        if (group.matched) out.append(s.Text(group));
        ++i;
      } else {
        out.push_back(c);
      }
    }
    copied = spans[0].end;
  }
  out.append(s.subject, copied);
  return out;
}

int RegexSearch::MatchCount() const { return static_cast<int>(state_->matches.size()); }

std::string RegexSearch::MatchText(int match, int* position) const {
  return state_->Read(match, 0, position);
}

std::string RegexSearch::GroupText(int match, int group, int* position) const {
  return state_->Read(match, group < 1 ? -1 : group, position);
}

int RegexSearch::GroupCount() const { return state_->groupCount; }

}  // namespace qv
