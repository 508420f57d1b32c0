#include "util/regex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

TEST(RegexSearch, FindsTheCharsetAnHtmlHeadDeclares) {
  struct Case {
    std::string html;
    std::string charset;
  };
  for (const Case& c : std::vector<Case>{
           {"<HTML><HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=utf-8\">",
            "utf-8"},
           {"<html><head><meta charset=\"gb2312\"><title>x</title>", "gb2312"},
           {"<meta charset='GBK' />", "GBK"},
           {"<head>\n<meta name=\"a\">\n<meta charset=big5>", "big5"},
           {"<html><head><title>no meta</title></head>", ""},
       }) {
    RegexSearch re;
    ASSERT_TRUE(re.Search(kCharsetPattern, c.html)) << c.html;
    EXPECT_EQ(re.GroupText(1, 1), c.charset) << c.html;
    EXPECT_EQ(re.MatchCount(), c.charset.empty() ? 0 : 1) << c.html;
  }
}

TEST(RegexSearch, CharsetSearchOverAFullHtmlHeadIsSafe) {
  // The HTTP client searches the first 1024 bytes; a lazy ".+?" over all of them must not
  // exhaust the stack, whether or not the tag is found at the end.
  std::string head = "<meta name=\"x\" content=\"" + std::string(980, 'a');
  RegexSearch re;
  ASSERT_TRUE(re.Search(kCharsetPattern, head.substr(0, 1024)));
  EXPECT_EQ(re.MatchCount(), 0);
  head = head.substr(0, 1000) + "charset=utf-8";
  ASSERT_TRUE(re.Search(kCharsetPattern, head));
  EXPECT_EQ(re.GroupText(1, 1), "utf-8");

  std::string longest = "<meta " + std::string(RegexSearch::kMaxSubjectBytes, 'x');
  longest.resize(RegexSearch::kMaxSubjectBytes - 12);
  longest += "charset=big5";
  ASSERT_EQ(longest.size(), RegexSearch::kMaxSubjectBytes);
  ASSERT_TRUE(re.Search(kCharsetPattern, longest));
  EXPECT_EQ(re.GroupText(1, 1), "big5");
  ASSERT_TRUE(re.Search("^[xy]*$", std::string(RegexSearch::kMaxSubjectBytes, 'x')));
  EXPECT_EQ(re.MatchCount(), 1);
  EXPECT_FALSE(re.Search("x", longest + "x"));
  EXPECT_EQ(re.MatchCount(), 0);
}

TEST(RegexSearch, BadPatternMakesSearchFalseAndLeavesNoMatches) {
  RegexSearch re;
  ASSERT_TRUE(re.Search("(a)", "a"));
  EXPECT_FALSE(re.Search("charset=([-\\w]+", "charset=utf-8"));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.GroupCount(), 0);
  EXPECT_EQ(re.MatchText(1), "");
  EXPECT_EQ(re.GroupText(1, 1), "");
  EXPECT_EQ(re.Replace("x"), "");
  EXPECT_FALSE(re.Search("[a-", "a"));
  EXPECT_FALSE(re.Search("a{2,1}", "a"));
}

TEST(RegexSearch, QuoteMarkerStandsForADoubleQuote) {
  RegexSearch re;
  ASSERT_TRUE(re.Search("charset=#引号(\\w+)", "charset=\"abc\"", {.quoteMarker = true}));
  EXPECT_EQ(re.GetPattern(), "charset=\"(\\w+)");
  EXPECT_EQ(re.GroupText(1, 1), "abc");
  // Without the flag the marker is literal text.
  ASSERT_TRUE(re.Search("charset=#引号(\\w+)", "charset=\"abc\""));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.GetPattern(), "charset=#引号(\\w+)");
}

TEST(RegexSearch, OptionsCaseMultiLineAndGlobal) {
  RegexSearch re;
  const std::string subject = "Ab\nab\naB";
  ASSERT_TRUE(re.Search("^ab$", subject));
  EXPECT_EQ(re.MatchCount(), 3);
  ASSERT_TRUE(re.Search("^ab$", subject, {.caseSensitive = true}));
  EXPECT_EQ(re.MatchCount(), 1);
  EXPECT_EQ(re.MatchText(1), "ab");
  ASSERT_TRUE(re.Search("^ab$", subject, {.multiLine = false}));
  EXPECT_EQ(re.MatchCount(), 0);
  ASSERT_TRUE(re.Search("^ab$", "x\r\nab\r\n"));
  EXPECT_EQ(re.MatchCount(), 1);
  ASSERT_TRUE(re.Search("ab", subject, {.global = false}));
  EXPECT_EQ(re.MatchCount(), 1);
  EXPECT_EQ(re.MatchText(1), "Ab");
}

TEST(RegexSearch, MatchesGroupsAndPositionsAreOneBasedAndBoundsChecked) {
  RegexSearch re;
  ASSERT_TRUE(re.Search("(\\d+)(x)?-(\\w)", "a 12-b 中文 345x-c"));
  EXPECT_EQ(re.MatchCount(), 2);
  EXPECT_EQ(re.GroupCount(), 3);
  int pos = 0;
  EXPECT_EQ(re.MatchText(1, &pos), "12-b");
  EXPECT_EQ(pos, 2);
  // Positions count bytes of the UTF-8 subject: "中文" takes six.
  EXPECT_EQ(re.MatchText(2, &pos), "345x-c");
  EXPECT_EQ(pos, 14);
  EXPECT_EQ(re.GroupText(2, 2, &pos), "x");
  EXPECT_EQ(pos, 17);
  EXPECT_EQ(re.GroupText(1, 2, &pos), "");  // did not take part
  EXPECT_EQ(pos, -1);
  for (auto [match, group] : std::vector<std::pair<int, int>>{{0, 1}, {3, 1}, {1, 0}, {1, 4}}) {
    EXPECT_EQ(re.GroupText(match, group, &pos), "") << match << "," << group;
    EXPECT_EQ(pos, -1);
  }
  EXPECT_EQ(re.MatchText(0), "");
  EXPECT_EQ(re.MatchText(3), "");

  ASSERT_TRUE(re.Search("(a)", "bbb"));
  EXPECT_EQ(re.GroupCount(), 0);  // no match, no groups
}

TEST(RegexSearch, NonAsciiCharactersAreWholeAndNeverWordCharacters) {
  RegexSearch re;
  ASSERT_TRUE(re.Search("\\w+", "ab中文cd"));
  EXPECT_EQ(re.MatchCount(), 2);
  EXPECT_EQ(re.MatchText(2), "cd");
  ASSERT_TRUE(re.Search("b.c", "ab中cd"));
  EXPECT_EQ(re.MatchText(1), "b中c");
  ASSERT_TRUE(re.Search("a\\sb",
                        "a\xe3\x80\x80"
                        "b"));  // U+3000 is a space
  EXPECT_EQ(re.MatchCount(), 1);
  // Ill-formed UTF-8 is searched, and matched bytes come back as they were.
  ASSERT_TRUE(re.Search("a.b",
                        "xa\xff"
                        "b"));
  EXPECT_EQ(re.MatchText(1),
            "a\xff"
            "b");
}

TEST(RegexSearch, ReplaceExpandsGroupsAndWholeMatch) {
  RegexSearch re;
  ASSERT_TRUE(re.Search("(\\w+)=(\\w+)", "a=1; b=2"));
  EXPECT_EQ(re.Replace("$2:$1"), "1:a; 2:b");
  EXPECT_EQ(re.Replace("[$&]"), "[a=1]; [b=2]");
  EXPECT_EQ(re.Replace("$$ $3 $"), "$ $3 $; $ $3 $");
  ASSERT_TRUE(re.Search("(\\w+)=(\\w+)", "a=1; b=2", {.global = false}));
  EXPECT_EQ(re.Replace("<$1>"), "<a>; b=2");
  ASSERT_TRUE(re.Search("z", "abc"));
  EXPECT_EQ(re.Replace("y"), "abc");
}

TEST(RegexSearch, CopiesShareTheirState) {
  RegexSearch first;
  RegexSearch second = first;
  ASSERT_TRUE(second.Search("b", "abc"));
  EXPECT_EQ(first.MatchCount(), 1);
  EXPECT_EQ(first.GetPattern(), "b");
}

}  // namespace
}  // namespace qv
