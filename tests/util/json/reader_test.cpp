// The quick paths against plain ones: wherever the quick reader accepts a text it must build
// exactly the value nlohmann builds (kinds of numbers included) and leave every other text to
// nlohmann; the rewriter must write what the writer writes of that value, or leave the text; the
// word-at-a-time string writer must write what a character-by-character one writes, wherever a
// character that needs an escape stands.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/util/json/same_value.h"
#include "util/json/value.h"

namespace qv::json_detail {
namespace {

using qv::testing::SameValue;

std::string Nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST(JsonReader, QuickReaderAndRewriterAgreeWithNlohmann) {
  struct Case {
    std::string text;
    bool quick;            // the quick reader reads it (else it must refuse)
    bool rewrite = quick;  // the rewriter writes it (else it leaves it to a document)
  };
  std::string manyMembers = "{";
  for (int i = 0; i < 65; ++i) manyMembers += (i ? ",\"" : "\"") + std::to_string(i) + "\":0";
  manyMembers += "}";
  std::vector<Case> cases{
      {R"({"a":1,"b":[true,false,null],"c":{"d":"e"},"":""})", true},
      {" \t\r\n[1 , 2 ,{ \"k\" : [ ] } ]\n ", true},
      {"[]", true},
      {"{}", true},
      {R"("\"\\\/\b\f\n\r\t")", true},
      {R"("\u00e9\u4E2D\ud83d\ude00\u0000\u2400x")", true},
      {"\"中文 ¥ é \xF0\x9F\x98\x80 \xE2\x90\x80 \xEF\xBF\xBD\"", true},
      {R"({"a":1,"b":2,"a":[3]})", true, false},   // a repeated name: first place, last value
      {R"([{"a":1},{"a":2,"b":{"a":3}}])", true},  // the same name in different objects
      {manyMembers, true, false},
      {"[0,-0,-0.0,1e5,1E+5,1.5e-3,-12.75,5e-324,0.30000000000000004]", true},
      {"[18446744073709551615,18446744073709551616,-9223372036854775808]", true},
      {"[-9223372036854775809,123456789012345678901234567890]", true},
      {Nested(JsonDocument::kMaxDepth), true},
      // A surrogate escape without its other half reads as U+FFFD.
      {R"("\ud83d")", true},
      {R"("\ude00")", true},
      {R"("\ud83d\u0041")", true},
      {R"("\ude00\ud83d\ude00\udbff")", true},
      {R"({"\ud83d":1})", true, false},
      {"7", true},
      {"null", true},
      // Left to nlohmann: out of range, syntax errors, bad escapes, ill-formed UTF-8.
      {"[1e400]", false},
      {"[-1e400]", false},
      {"[1e-400]", false},
      {Nested(JsonDocument::kMaxDepth + 1), false},

      {R"("\u12")", false},
      {R"("\x")", false},
      {"\"a\x01"
       "b\"",
       false},
      {"\"\xC0\x80\"", false},
      {"\"\xED\xA0\x80\"", false},
      {"\"\xF4\x90\x80\x80\"", false},
      {"\"\xE4\xB8\"", false},
      {"\"\xE4\xB8", false},
      {"\"abc", false},
      {"[01]", false},
      {"[1.]", false},
      {"[.5]", false},
      {"[-]", false},
      {"[1e]", false},
      {"[+1]", false},
      {"[0x10]", false},
      {"[1,]", false},
      {R"({"a":1,})", false},
      {R"({"a" 1})", false},
      {"{1:2}", false},
      {"{'a':1}", false},
      {"[tru]", false},
      {"nul", false},
      {"[1] [2]", false},
      {"[", false},
      {"[1}", false},
      {std::string("[1]\0", 4), false},
  };
  // Escapes and multi-byte characters at every place within and across the 8-byte words
  // that plain text is scanned in.
  for (int at = 0; at < 17; ++at) {
    const std::string run(at, 'a');
    cases.push_back({"[\"" + run + "\\\"" + run + "\\n\"]", true});
    cases.push_back({"[\"" + run + "\\\\\\\"\\/" + run + "\"]", true});
    cases.push_back({"\"" + run + "\\", false});
    cases.push_back({"[\"" + run + "宫保鸡丁\\u00e9" + run + "\"]", true});
    cases.push_back({"[\"" + run + "\\ud83d" + run + "\\udc00\"]", true});
    cases.push_back({"[\"" + run + "\x01\"]", false});
    cases.push_back({"[\"" + run + "\xE5\xAE\"]", false});
    cases.push_back({"[\"" + run, false});
  }

  for (const Case& c : cases) {
    Value quick, careful;
    int quickDepth = -1, carefulDepth = -1;
    const bool read = ReadJsonQuickly(c.text, quick, quickDepth);
    EXPECT_EQ(read, c.quick) << c.text;
    std::string rewritten;
    EXPECT_EQ(RewriteJsonQuickly(c.text, rewritten), c.rewrite) << c.text;
    if (!read) continue;
    std::string written;
    AppendJsonText(written, quick);
    if (c.rewrite) {
      EXPECT_EQ(rewritten, written) << c.text;
    }
    ASSERT_EQ(ParseJsonCarefully(c.text, careful, nullptr, carefulDepth), ParseResult::Value)
        << c.text;
    EXPECT_TRUE(SameValue(quick, careful)) << c.text;
    EXPECT_EQ(quickDepth, carefulDepth) << c.text;
  }
}

// Writes `s` (well-formed UTF-8) one character at a time: the short escapes, the stand-in
// U+2400 as an escaped backslash, \u escapes for the controls, format characters and
// separators, everything else as it is.
std::string QuotedOneByOne(const std::string& s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    const std::string shortEscapes = "\"\\\b\t\n\f\r";
    const std::string letters = "\"\\btnfr";
    if (cp < 0x80 && shortEscapes.find(static_cast<char>(cp)) != std::string::npos) {
      out += '\\';
      out += letters[shortEscapes.find(static_cast<char>(cp))];
    } else if (cp == 0x2400) {
      out += "\\\\";
    } else if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0xAD ||
               (cp >= 0x600 && cp <= 0x604) || cp == 0x70F || cp == 0x17B4 || cp == 0x17B5 ||
               (cp >= 0x200C && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202F) ||
               (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF || (cp >= 0xFFF0 && cp <= 0xFFFF)) {
      char u[8];
      std::snprintf(u, sizeof u, "\\u%04x", static_cast<unsigned>(cp));
      out += u;
    } else {
      out.append(s, i, length);
    }
    i += length;
  }
  return out + "\"";
}

// Characters that the writer escapes or that border on those that it escapes, with the
// multi-byte forms whose lead bytes the quick paths treat apart.
const std::vector<std::string> kCharacters{"\"",
                                           "\\",
                                           "\n",
                                           "\b",
                                           "\x01",
                                           "\x1f",
                                           "\x7f",
                                           "/",
                                           "~",
                                           "\xC2\x85",
                                           "\xC2\xAD",
                                           "\xC3\xA9",
                                           "\xD8\x80",
                                           "\xDC\x8F",
                                           "\xE1\x9E\xB4",
                                           "\xE2\x80\x8D",
                                           "\xE2\x80\xA8",
                                           "\xE2\x81\xA0",
                                           "\xE2\x90\x80",
                                           "\xE2\x82\xAC",
                                           "\xEF\xBB\xBF",
                                           "\xEF\xBF\xB0",
                                           "\xEF\xBF\xBF",
                                           "\xEF\xBF\xBD",
                                           "宫",
                                           "\xF0\x9F\x98\x80",
                                           "\xE0\xA4\x85",
                                           "\xED\x9F\xBF",
                                           "\xEF\xBC\x8C",
                                           "\xE2\x80\x94",
                                           "\xC2\xA5"};

TEST(JsonWriter, EscapesWhereverTheCharacterStands) {
  for (const std::string& c : kCharacters) {
    // Before, inside and after 8-byte words, and across the 256-byte slices of the writer.
    for (std::size_t before : {0, 1, 5, 7, 8, 9, 15, 16, 17, 250, 254, 255, 256, 257, 300}) {
      for (std::size_t after : {0, 3, 8, 20}) {
        const std::string s = std::string(before, 'a') + c + "宫保" + c + std::string(after, 'z');
        // Written after a byte already there, as the writer continues a text.
        std::string written = "x";
        AppendJsonText(written, Value(s));
        std::string expected = "x";
        expected += QuotedOneByOne(s);
        ASSERT_EQ(written, expected) << before << " " << c;
      }
    }
  }
}

// The rewriter against the reader and the writer, with each character raw and escaped in
// names and values, at every place within and across the words the quick paths scan in.
TEST(JsonRewriter, WritesWhatTheWriterWritesOfTheValueRead) {
  for (const std::string& c : kCharacters) {
    const std::string escaped = QuotedOneByOne(c);
    for (const std::string& form : {c, escaped.substr(1, escaped.size() - 2)}) {
      for (std::size_t before : {0, 1, 6, 7, 8, 9, 15, 16, 17, 40}) {
        const std::string run(before, 'a');
        // Built by appending: g++ 12 at -O3 warns falsely (-Wrestrict) about long "+" chains.
        std::string text = " {\"";
        text.append(run).append(form).append("\" : [\"").append(run).append(form);
        text.append("宫\", -0, 1.50],\"n\":{\"").append(form).append("\":\"x");
        text.append(form).append(run).append("\"}}");
        Value value;
        int depth = 0;
        if (!ReadJsonQuickly(text, value, depth)) continue;  // a raw control character
        std::string written, rewritten;
        AppendJsonText(written, value);
        if (!RewriteJsonQuickly(text, rewritten)) {
          // Only a name with an escape is left to a document.
          ASSERT_NE(form.find('\\'), std::string::npos) << text;
          continue;
        }
        ASSERT_EQ(rewritten, written) << text;
      }
    }
  }
}

}  // namespace
}  // namespace qv::json_detail
