// The quick rewriter of JSON text: reads a text and writes its compact JSON text straight
// away, with no value in between.
//
// A print content arrives as a string holding JSON text, and the service keeps it as the
// compact text of the value that string holds: twenty such contents in a poll answer, each
// otherwise built into hundreds of small values only to be written out again. The cloud
// sends contents already compact, so the rewriter copies the text in runs and writes only
// where the compact form differs: blanks left out, strings whose escapes change, numbers
// written otherwise. It reads with the quick reader's steps and writes with the writer's, so
// where it finishes, its text is the one the two would give; where it gives up, the caller
// takes that longer way.
#include <string>
#include <vector>

#include "util/json/scanner.h"
#include "util/utf8.h"

namespace qv::json_detail {
namespace {

// More members than this make the search for a repeated name slower than building the value.
constexpr std::size_t kMaxMembers = 64;

class QuickRewriter : JsonScanner {
 public:
  QuickRewriter(std::string_view text, JsonTextSink& out)
      : JsonScanner(text), copyFrom_(text.data()), out_(out) {}

  bool Rewrite() {
    SkipBlanksOut();
    if (!WriteValue()) return false;
    SkipBlanksOut();
    if (p_ != end_) return false;
    CopyUpTo(p_);
    return true;
  }

 private:
  // Copies the text not yet written, up to `at`.
  void CopyUpTo(const char* at) {
    out_.Put(std::string_view(copyFrom_, at - copyFrom_));
    copyFrom_ = at;
  }

  // Blanks between tokens are left out of the compact form.
  void SkipBlanksOut() {
    if (p_ == end_ || !IsBlankByte(*p_)) return;
    CopyUpTo(p_);
    SkipBlanks();
    copyFrom_ = p_;
  }

  bool WriteValue() {
    if (p_ == end_) return false;
    switch (*p_) {
      case '{':
        return WriteObject();
      case '[':
        return WriteArray();
      case '"': {
        bool escaped = false;
        return WriteString(escaped);
      }
      case 't':
        return SkipWord("true");
      case 'f':
        return SkipWord("false");
      case 'n':
        return SkipWord("null");
      default:
        return WriteNumber();
    }
  }

  // A string without escapes and with nothing to escape is written as it stands; any other
  // is written from its characters, which puts each escape in its one compact form.
  // `escaped` tells whether the text had escapes.
  bool WriteString(bool& escaped) {
    escaped = false;
    if (SkipPlainString()) return true;
    const char* quote = p_;
    std::string_view text;
    if (!ReadString(text)) return false;
    escaped = text.data() != quote + 1;
    CopyUpTo(quote);
    PutQuoted(out_, text);
    copyFrom_ = p_;
    return true;
  }

  // Steps from the quote under p_ past the closing quote of a string that the writer writes
  // exactly as it stands, looking at each byte once: printable ASCII a word at a time, and
  // other characters one by one. False, with p_ where it was, for any other string (escapes,
  // characters the writer escapes, anything ill-formed), which the scanner decides.
  bool SkipPlainString() {
    const char* p = p_ + 1;
    const char* const end = end_;
    for (;;) {
      if (end - p >= 8) {
        const uint64_t word = LoadWord(p);
        const uint64_t stops = StringStopBytes(word) | HasByte(word, 0x7F);
        if (stops == 0) {
          p += 8;
          continue;
        }
        p += std::countr_zero(stops) / 8;
      }
      if (p == end) return false;
      const auto c = static_cast<unsigned char>(*p);
      if (c == '"') {
        p_ = p + 1;
        return true;
      }
      if (c < 0x80) {  // in the last 7 bytes of the text, or one that stops the run
        if (c < 0x20 || c == '\\' || c == 0x7F) return false;
        ++p;
        continue;
      }
      const Utf8Step step = StepUtf8(p, end);
      if (!step.wellFormed) return false;
      if (MayBeWrittenEscaped(c) && WrittenEscaped(CodePointAt(p, step.length))) return false;
      p += step.length;
    }
  }

  // An integer of up to 15 digits is exact as a double and read as an integer, so the writer
  // writes it as it stands, except -0, which reads as 0. Other numbers are written as the
  // writer writes the value they read as.
  bool WriteNumber() {
    const char* start = p_;
    bool integral = false;
    if (!SkipNumber(integral)) return false;
    const std::string_view token(start, p_ - start);
    if (integral && token.size() <= 15 && token != "-0") return true;
    Value number;
    if (!NumberValue(start, p_, integral, number)) return false;
    CopyUpTo(start);
    PutJson(out_, number);
    copyFrom_ = p_;
    return true;
  }

  auto BlanksOut() {
    return [this] { SkipBlanksOut(); };
  }

  bool WriteArray() {
    return Items(']', BlanksOut(), [this] { return WriteValue(); });
  }

  bool WriteObject() {
    const std::size_t base = names_.size();
    if (!Items('}', BlanksOut(), [this, base] { return WriteMember(base); })) return false;
    names_.resize(base);
    return true;
  }

  // The member at p_ of the object whose names begin at `base`.
  bool WriteMember(std::size_t base) {
    std::string_view name;
    return p_ != end_ && *p_ == '"' && ReadName(name) && NewName(base, name) &&
           NameSeparator(BlanksOut()) && WriteValue();
  }

  // Reads the member name at the quote under p_. A name with escapes, which could equal
  // another written otherwise, is left to a document.
  bool ReadName(std::string_view& name) {
    const char* const start = p_ + 1;
    bool escaped = false;
    if (!WriteString(escaped) || escaped) return false;
    name = std::string_view(start, p_ - start - 1);
    return true;
  }

  // Records `name` for the object whose names begin at `base`. A repeated name gives the
  // first position the last value, which only a built value can show: false then.
  bool NewName(std::size_t base, std::string_view name) {
    if (names_.size() - base >= kMaxMembers) return false;
    for (std::size_t i = base; i < names_.size(); ++i) {
      // Names of one object mostly differ in length or at either end; the whole comparison
      // is left for the rest.
      const std::string_view seen = names_[i];
      if (seen.size() != name.size()) continue;
      if (!name.empty() && (seen.front() != name.front() || seen.back() != name.back())) continue;
      if (seen == name) return false;
    }
    names_.push_back(name);
    return true;
  }

  const char* copyFrom_;  // the start of the text read but not yet written
  JsonTextSink& out_;
  std::vector<std::string_view> names_;  // names of the open objects' members, outer first
};

}  // namespace

bool RewriteJsonQuickly(std::string_view text, std::string& out) {
  JsonTextSink sink(out);
  QuickRewriter rewriter(text, sink);
  const bool done = rewriter.Rewrite();
  sink.Finish();
  return done;
}

}  // namespace qv::json_detail
