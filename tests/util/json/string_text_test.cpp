#include "util/json/string_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace qv {
namespace {

// Only what JSON requires is escaped, so a printer name reads the same in the list text as in
// the system; bytes that are no UTF-8 become U+FFFD, so the text stays valid JSON; and every
// result reads back, with nlohmann's own reader, as the (repaired) text.
TEST(JsonQuoted, EscapesWhatJsonRequiresAndRepairsInvalidUtf8) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string text, json, readBack;
  };
  for (const Case& c : std::vector<Case>{
           {"", R"("")", ""},
           {"前台打印机 USB001", R"("前台打印机 USB001")", "前台打印机 USB001"},
           {R"(HP "Laser" \\srv\q)", R"("HP \"Laser\" \\\\srv\\q")", R"(HP "Laser" \\srv\q)"},
           {"\t\n\r\b\f\x01\x1f", R"("\t\n\r\b\f\u0001\u001f")", "\t\n\r\b\f\x01\x1f"},
           // DEL, a line separator, a byte order mark and U+2400 need no escape in JSON.
           {"\x7f\xE2\x80\xA8\xEF\xBB\xBF\xE2\x90\x80",
            "\"\x7f\xE2\x80\xA8\xEF\xBB\xBF\xE2\x90\x80\"",
            "\x7f\xE2\x80\xA8\xEF\xBB\xBF\xE2\x90\x80"},
           {"q\xff"
            "1",
            "\"q" + fffd + "1\"", "q" + fffd + "1"},
           {"p\xc3", "\"p" + fffd + "\"", "p" + fffd},
           {"\xe4\xb8\xad\x80\"", "\"\xe4\xb8\xad" + fffd + "\\\"\"", "\xe4\xb8\xad" + fffd + "\""},
           // Long enough for the word-at-a-time path, with the fault after the first word.
           {"0123456789\xc0\xaf\\end", "\"0123456789" + fffd + fffd + "\\\\end\"",
            "0123456789" + fffd + fffd + "\\end"}}) {
    const std::string json = JsonQuoted(c.text);
    EXPECT_EQ(json, c.json) << c.text;
    EXPECT_EQ(nlohmann::json::parse(json).get<std::string>(), c.readBack) << c.text;
  }
}

}  // namespace
}  // namespace qv
