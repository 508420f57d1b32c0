#include "util/json/node.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// A node must read exactly what the path operations read for the same place, since the task
// decoding moved from path texts to nodes and every decoded value must stay as it was.
void ExpectSameAsPath(const JsonDocument& doc, const JsonNode& node, const std::string& path) {
  SCOPED_TRACE("path \"" + path + "\"");
  EXPECT_EQ(node.Exists(), doc.Exists(path));
  EXPECT_EQ(node.Type(), doc.TypeOf(path));
  EXPECT_EQ(node.Count(), doc.Count(path));
  EXPECT_EQ(node.Text(), doc.GetText(path));
  EXPECT_EQ(node.SubDocumentText(), doc.SubDocumentText(path));
}

TEST(JsonNode, ReadsWhatThePathReads) {
  const std::vector<std::string> texts = {
      // A poll answer's shape: elements with members of each kind, content as a string.
      R"([{"app_id":7,"uni_key":"k-1","print_num":"2","n":null,"b":true,"f":0.10,
           "print_content":"[{\"type\":1,\"text\":\"合计\"}]","o":{"a":[1,"x"]}},
          [10,20,30], "plain", 5, null])",
      // An object root: an index reads the member with that decimal name.
      R"({"0":{"text":"zero"},"1":[4,5],"00":"not an index","text":"root"})",
      // Repeated names: the first one is the one read, whatever the reader kept.
      R"([{"a":1,"a":2,"text":"x"}])",
      "\"a string root\"",
      "null",
      "",
  };
  const std::vector<std::string> names = {
      "app_id", "uni_key", "print_num", "n", "b",  "f", "o",      "print_content",
      "text",   "0",       "1",         "2", "00", "a", "missing"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    JsonDocument doc;
    doc.Parse(text);
    const JsonNode root(doc);
    ExpectSameAsPath(doc, root, "");
    for (const std::string& name : names) ExpectSameAsPath(doc, root.Member(name), name);
    for (int32_t i = -1; i < 6; ++i) {
      const std::string at = "[" + std::to_string(i) + "]";
      if (i >= 0) ExpectSameAsPath(doc, root.Element(i), at);
      for (const std::string& name : names) {
        ExpectSameAsPath(doc, root.Element(i).Member(name), at + "['" + name + "']");
      }
      ExpectSameAsPath(doc, root.Element(0).Element(i), "[0]" + at);
    }
  }
}

}  // namespace
}  // namespace qv
