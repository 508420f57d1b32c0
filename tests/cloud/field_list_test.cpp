#include "cloud/field_list.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(FieldList, RendersFormBodiesAndHeaderBlocks) {
  FieldList body;
  EXPECT_EQ(body.ToFormBody(), "");
  EXPECT_EQ(body.ToHeaderBlock(), "");
  body.Add("a", "1");
  body.Add("b", "2");
  EXPECT_EQ(body.ToFormBody(), "a=1&b=2");

  FieldList headers;
  headers.Add("Storeid", "1");
  EXPECT_EQ(headers.ToHeaderBlock(), "Storeid: 1");
  headers.Add("X-Token", "null");
  EXPECT_EQ(headers.ToHeaderBlock(), "Storeid: 1\r\nX-Token: null");

  // Unencoded bodies carry values as they are: "&", "=" and Base64's "+/=" included.
  FieldList raw;
  raw.Add("plist", "a+b/c==");
  raw.Add("q", "x&y=z");
  EXPECT_EQ(raw.ToFormBody(), "plist=a+b/c==&q=x&y=z");
  EXPECT_EQ(raw.ToFormBody(true), "plist=a%2Bb%2Fc%3D%3D&q=x%26y%3Dz");
}

TEST(FieldList, EncodedModeUsesGbkUnlessThePairIsUtf8) {
  FieldList list;
  list.Add("名", "宫");
  list.Add("名", "宫", true);
  EXPECT_EQ(list.ToFormBody(true), "%C3%FB=%B9%AC&%E5%90%8D=%E5%AE%AB");
  EXPECT_EQ(list.ToHeaderBlock(true), "名: %B9%AC\r\n名: %E5%AE%AB");
}

TEST(FieldList, LookupReplaceRemoveAndParse) {
  FieldList list;
  list.ParseForm("a=1&b=2&a=3&flag");
  EXPECT_EQ(list.Keys(), (std::vector<std::string>{"a", "b", "a", "flag"}));
  EXPECT_EQ(list.Values(), (std::vector<std::string>{"1", "2", "3", ""}));
  EXPECT_EQ(list.Get("a"), "1");
  EXPECT_EQ(list.Get("A"), "");
  list.Set("a", "9");
  list.Set("c", "4");
  EXPECT_EQ(list.ToFormBody(), "a=9&b=2&a=3&flag=&c=4");
  list.Remove("a");
  EXPECT_EQ(list.ToFormBody(), "b=2&a=3&flag=&c=4");
  EXPECT_EQ(list.ToJsonObject(), R"({"b":"2","a":"3","flag":"","c":"4"})");
  FieldList copy = list;
  list.Clear();
  EXPECT_EQ(list.Size(), 0u);
  EXPECT_EQ(copy.Size(), 4u);
}

}  // namespace
}  // namespace qv
