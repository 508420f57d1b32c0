#include "util/json/document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// The shape of a poll answer: data as an array of tasks, print_content once as an array and
// once as a string holding the array.
constexpr const char* kPollAnswer = R"({"code":200,"total":2,"data":[
  {"app_id":7,"store_id":"S01","uni_key":"k-1","print_type":1,"print_sn":"192.168.1.9",
   "print_num":2,"print_content":[{"type":1,"text":"宫保鸡丁 x1"},{"type":2}]},
  {"app_id":7,"store_id":"S01","uni_key":"k-2","print_type":"2","print_sn":"前台",
   "print_content":"[{\"type\":1,\"bold\":1,\"text\":\"合计\"}]"}]})";

TEST(JsonDocument, ReadsAPollAnswerTheWayPollingDoes) {
  JsonDocument answer;
  JsonParseError error;
  ASSERT_TRUE(answer.Parse(kPollAnswer, &error));
  EXPECT_EQ(error.Line, 0);
  EXPECT_EQ(answer.SubDocument("code").ToText(), "200");
  EXPECT_EQ(answer.SubDocument("total").ToText(), "2");

  JsonDocument data;
  ASSERT_TRUE(data.Parse(answer.SubDocument("data").ToText(), &error));
  ASSERT_EQ(data.Count(""), 2);
  EXPECT_EQ(data.SubDocument("[0]['app_id']").ToText(), "7");
  EXPECT_EQ(data.SubDocument("[0]['store_id']").ToText(), "null");  // a plain word
  EXPECT_EQ(data.GetText("[0]['uni_key']"), "k-1");
  EXPECT_EQ(data.GetText("[1]['print_sn']"), "前台");
  EXPECT_EQ(data.SubDocument("[1]['print_type']").ToText(), "2");  // string holding 2
  EXPECT_EQ(data.SubDocument("[1]['print_num']").ToText(), "");    // missing

  const std::string content0 = data.SubDocument("[0]['print_content']").ToText();
  EXPECT_EQ(content0, R"([{"type":1,"text":"宫保鸡丁 x1"},{"type":2}])");
  const std::string content1 = data.SubDocument("[1]['print_content']").ToText();
  EXPECT_EQ(content1, R"([{"type":1,"bold":1,"text":"合计"}])");

  JsonDocument lines;
  ASSERT_TRUE(lines.Parse(content1));
  EXPECT_EQ(lines.Count(""), 1);
  EXPECT_EQ(lines.SubDocument("[0].type").ToText(), "1");
  EXPECT_EQ(lines.SubDocument("[0].align").ToText(), "");
  EXPECT_EQ(lines.GetText("[0].text"), "合计");
}

TEST(JsonDocument, PathsNameTheRootMembersElementsAndDa) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"data":{"x":1},"da":{"code":5},"code":3,"a b":[10,[20,21]]})"));
  struct Case {
    std::string path, text;
  };
  for (const Case& c : std::vector<Case>{
           {"data.x", "1"},
           {"data['x']", "1"},
           {"data[\"x\"]", "1"},
           {"code", "3"},
           {"da.code", "3"},  // "da" is the root when the path leads somewhere from it
           {"da.data.x", "1"},
           {"da['a b'][1][0]", "20"},
           {"['a b'][1]", "20,21"},
           {"data.y", ""},
           {"data.x.y", ""},
           {"nothing.at.all", ""},
           {"data..x", ""},
           {"data[x]", ""},
           {"data['x'", ""},
       }) {
    EXPECT_EQ(doc.GetText(c.path), c.text) << c.path;
  }
  EXPECT_EQ(doc.GetText("da", JsonTextForm::Json), doc.ToText());
  EXPECT_EQ(doc.GetText("", JsonTextForm::Json), doc.ToText());

  JsonDocument array;
  ASSERT_TRUE(array.Parse(R"([{"a":1},"b"])"));
  EXPECT_EQ(array.GetText("[0].a"), "1");
  EXPECT_EQ(array.GetText("da[1]"), "b");
  EXPECT_EQ(array.GetText("[2]"), "");

  std::string path = "code";
  EXPECT_TRUE(doc.ResolvePath(path));
  EXPECT_EQ(path, "da.code");
  path = "[1]";
  EXPECT_TRUE(array.ResolvePath(path));
  EXPECT_EQ(path, "da[1]");
  path = "missing";
  EXPECT_FALSE(doc.ResolvePath(path));
  EXPECT_TRUE(doc.Exists("da"));
  EXPECT_FALSE(doc.Exists("missing"));
}

TEST(JsonDocument, TextFormsOfEachKind) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"s":"abc","n":12,"f":-0.5,"t":true,"no":false,"z":null,
      "a":[1,"x",null,[2,3],{}],"o":{"k":1},"e":"","ea":[]})"));
  struct Case {
    std::string path, text;
    JsonType type;
  };
  for (const Case& c : std::vector<Case>{
           {"s", "abc", JsonType::String},
           {"n", "12", JsonType::Number},
           {"f", "-0.5", JsonType::Number},
           {"t", "true", JsonType::Boolean},
           {"no", "false", JsonType::Boolean},
           {"z", "", JsonType::Null},
           {"missing", "", JsonType::Null},
           {"a", "1,x,,2,3,[object Object]", JsonType::Array},
           {"o", "[object Object]", JsonType::Object},
           {"e", "", JsonType::String},
           {"ea", "", JsonType::Array},
       }) {
    EXPECT_EQ(doc.GetText(c.path), c.text) << c.path;
    EXPECT_EQ(doc.TypeOf(c.path), c.type) << c.path;
  }
  EXPECT_EQ(doc.GetText("a", JsonTextForm::Json), R"([1,"x",null,[2,3],{}])");
  EXPECT_EQ(doc.GetText("z", JsonTextForm::Json), "null");
  EXPECT_EQ(doc.GetJsonText("missing"), "");
  EXPECT_EQ(doc.ElementText(3, "a"), "2,3");
  EXPECT_EQ(doc.ElementText(1, "a", JsonTextForm::Json), "\"x\"");
  EXPECT_EQ(doc.ElementText(9, "a"), "");
  EXPECT_EQ(doc.ElementText(0, "o"), "");
}

TEST(JsonDocument, CountIsZeroForAnythingButAnArray) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"a":[1,2,3],"o":{"x":1},"s":"[1,2]","n":0})"));
  EXPECT_EQ(doc.Count("a"), 3);
  for (const char* path : {"", "o", "s", "n", "missing", "a[0]"}) {
    EXPECT_EQ(doc.Count(path), 0) << path;
  }
}

TEST(JsonDocument, SubDocumentsAreIndependentAndReadStringsAsJson) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"o":{"a":[1]},"j":"[{\"k\":true}]","w":"abc","e":"","n":"12",
      "z":null,"x":"a\\b"})"));
  JsonDocument sub = doc.SubDocument("o");
  ASSERT_TRUE(sub.SetText("a", "changed"));
  EXPECT_EQ(doc.GetJsonText("o"), R"({"a":[1]})");

  EXPECT_EQ(doc.SubDocument("j").TypeOf(""), JsonType::Array);
  EXPECT_EQ(doc.SubDocument("j").ToText(), R"([{"k":true}])");
  EXPECT_EQ(doc.SubDocument("w").ToText(), "null");
  EXPECT_EQ(doc.SubDocument("n").ToText(), "12");
  EXPECT_EQ(doc.SubDocument("z").ToText(), "null");
  EXPECT_EQ(doc.SubDocument("e").ToText(), "");
  EXPECT_EQ(doc.SubDocument("missing").ToText(), "");
  EXPECT_EQ(doc.SubDocument("x").ToText(), "null");  // a\b is no JSON value

  JsonDocument list;
  ASSERT_TRUE(list.Parse(R"([{"a":1},"[2]"])"));
  EXPECT_EQ(list.ElementDocument(0, "").ToText(), R"({"a":1})");
  EXPECT_EQ(list.ElementDocument(1, "").ToText(), "[2]");
  EXPECT_EQ(list.ElementDocument(2, "").ToText(), "");
}

TEST(JsonDocument, SubDocumentTextIsTheSubDocumentsText) {
  std::string many = "{";
  for (int i = 0; i < 70; ++i) many += (i ? ",\\\"m" : "\\\"m") + std::to_string(i) + "\\\":1";
  many += "}";
  const std::string deep = std::string(JsonDocument::kMaxDepth + 1, '[') + "]";
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"o":{"a":[1,"x"]},"j":"[{\"k\":true}]","w":"abc","e":"","b":"  ",
      "nl":"null","n":"12","z":null,"x":"a\\b","t":true,"d":-0.0,
      "content":" [ {\"text\" : \"宫保\\u00ad\\n\", \"big\":1e21, \"m\":-0, \"f\":0.10} ] ",
      "dup":"{\"a\":1,\"b\":2,\"a\":3}","s":"[\"x)"
                        "\xE2\x90\x80\xE2\x90\x80"
                        R"(\"]","many":")" +
                        many + R"(","deep":")" + deep + R"("})"));
  for (const std::string& name : doc.MemberNames("")) {
    EXPECT_EQ(doc.SubDocumentText(name), doc.SubDocument(name).ToText()) << name;
  }
  EXPECT_EQ(doc.SubDocumentText("missing"), "");
  EXPECT_EQ(doc.SubDocumentText("content"),
            R"([{"text":"宫保\u00ad\n","big":1e+21,"m":0,"f":0.1}])");
  EXPECT_EQ(doc.SubDocumentText("dup"), R"({"a":3,"b":2})");
  EXPECT_EQ(doc.SubDocumentText("s"), R"(["x\\"])");
  EXPECT_EQ(doc.SubDocumentText("deep"), "null");
}

TEST(JsonDocument, CopiesShareTheirRoot) {
  JsonDocument first;
  JsonDocument second = first;
  ASSERT_TRUE(second.Parse(R"({"a":1})"));
  EXPECT_EQ(first.GetText("a"), "1");
  ASSERT_TRUE(first.SetNumber("b", 2));
  EXPECT_EQ(second.ToText(), R"({"a":1,"b":2})");
}

TEST(JsonDocument, ParseResultsAndErrorRecord) {
  JsonDocument doc;
  JsonParseError error;
  error.Line = 9;
  EXPECT_FALSE(doc.Parse("", &error));
  EXPECT_EQ(error.Line, 0);
  EXPECT_EQ(error.Number, 0);
  EXPECT_EQ(error.Text, "");
  EXPECT_EQ(doc.ToText(), "");
  EXPECT_EQ(doc.GetText("code"), "");

  EXPECT_FALSE(doc.Parse(" \r\n", &error));
  EXPECT_EQ(error.Number, 0);

  EXPECT_FALSE(doc.Parse("null", &error));
  EXPECT_EQ(error.Number, 0);
  EXPECT_EQ(doc.ToText(), "null");

  EXPECT_FALSE(doc.Parse("{\"code\":200,\r\n  \"total\": x1}\n", &error));
  EXPECT_NE(error.Number, 0);
  EXPECT_EQ(error.Line, 2);
  EXPECT_EQ(error.Column, 12);
  EXPECT_EQ(error.Text, "  \"total\": x1}");
  EXPECT_FALSE(error.Description.empty());
  EXPECT_EQ(doc.ToText(), "null");
  EXPECT_EQ(doc.Count(""), 0);

  EXPECT_FALSE(doc.Parse("<html>\n<body>502 Bad Gateway</body>", &error));
  EXPECT_EQ(error.Line, 1);
  EXPECT_EQ(error.Text, "<html>");

  EXPECT_FALSE(doc.Parse("{\"a\":1", &error));  // cut short
  EXPECT_EQ(error.Line, 1);
  EXPECT_EQ(error.Text, "{\"a\":1");

  EXPECT_TRUE(doc.Parse(" [1] ", &error));
  EXPECT_EQ(error.Number, 0);
  EXPECT_EQ(error.Description, "");
  EXPECT_TRUE(doc.Parse("0"));
  EXPECT_TRUE(doc.Parse("false"));  // present and not null
  EXPECT_FALSE(doc.Parse("[1] [2]"));
  EXPECT_FALSE(doc.Parse("{'a':1}"));
}

TEST(JsonDocument, DeepNestingIsAParseErrorNotACrash) {
  JsonDocument doc;
  JsonParseError error;
  const int limit = JsonDocument::kMaxDepth;
  EXPECT_TRUE(doc.Parse(std::string(limit, '[') + std::string(limit, ']'), &error));
  EXPECT_EQ(doc.SubDocument("").ToText().size(), 2u * limit);
  const std::string deep = "\n" + std::string(100000, '[') + std::string(100000, ']');
  EXPECT_FALSE(doc.Parse(deep, &error));
  EXPECT_EQ(error.Line, 2);
  EXPECT_EQ(error.Column, limit + 1);
  // Nothing stored may grow deeper than the parser accepts.
  ASSERT_TRUE(doc.Parse(std::string(limit, '[') + std::string(limit, ']')));
  std::string innermost = "";
  for (int i = 1; i < limit; ++i) innermost += "[0]";
  EXPECT_EQ(doc.TypeOf(innermost), JsonType::Array);
  EXPECT_FALSE(doc.AddElement(innermost, "[]", JsonValueKind::Json));
  EXPECT_FALSE(doc.SetText(innermost + "[0]", "{}", JsonValueKind::Json));
  EXPECT_TRUE(doc.AddElement(innermost, "x"));
}

TEST(JsonDocument, InvalidUtf8IsReadLeniently) {
  JsonDocument doc;
  ASSERT_TRUE(
      doc.Parse("{\"t\":\"a\xff\xfe"
                "b\",\"n\":1}"));
  EXPECT_EQ(doc.GetText("t"),
            "a\xEF\xBF\xBD\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(doc.GetText("n"), "1");
}

TEST(JsonDocument, LoneSurrogateEscapesReadAsReplacementCharacters) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string text;
    std::string t;  // GetText("t")
  };
  for (const Case& c : std::vector<Case>{
           {R"({"t":"a\ud83db"})", "a" + fffd + "b"},
           {R"({"t":"\ude00\ud83d\ude00"})", fffd + "\xF0\x9F\x98\x80"},
           {R"({"t":"\ud83d\u0041"})", fffd + "A"},
           {R"({"t":"\ud83d\\ude00"})", fffd + "\\ude00"},
           {R"({"\udbff":"x","t":"\udbff"})", fffd},
           // Ill-formed UTF-8 beside it takes the careful reader's way.
           {"{\"t\":\"\\ud83d\xff\"}", fffd + fffd},
           {"{\"t\":\"\\ud83d\\\\ud83d\xff\"}", fffd + "\\ud83d" + fffd},
       }) {
    JsonDocument doc;
    JsonParseError error;
    ASSERT_TRUE(doc.Parse(c.text, &error)) << c.text;
    EXPECT_EQ(error.Number, 0) << c.text;
    EXPECT_EQ(doc.GetText("t"), c.t) << c.text;
  }
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"(["\ud83d"])"));
  EXPECT_EQ(doc.ToText(), R"(["\ufffd"])");

  // A syntax error elsewhere is still reported where it is; a raw control character in a
  // string stays an error.
  JsonParseError error;
  EXPECT_FALSE(doc.Parse("{\"t\":\"\\ud83d\",\n x}", &error));
  EXPECT_EQ(error.Line, 2);
  EXPECT_EQ(error.Text, " x}");
  EXPECT_FALSE(doc.Parse("{\"t\":\"\\ud83d\x01\"}", &error));
  EXPECT_NE(error.Number, 0);
}

TEST(JsonDocument, ToTextKeepsMemberOrderAndEscapes) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"b":1,"a":2,"c":{"z":1,"y":2}})"));
  EXPECT_EQ(doc.ToText(), R"({"b":1,"a":2,"c":{"z":1,"y":2}})");
  EXPECT_EQ(doc.MemberNames(""), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_TRUE(doc.MemberNames("b").empty());

  ASSERT_TRUE(doc.Parse(R"(["line\nfeed \"quoted\" back\\slash \/ tab\t \b\f\r",)"
                        R"("\u00ad\u0001\u007f\u0085\u2028\u200d\ufeff\uffff",)"
                        R"("中文 é € \ud83d\ude00 \ufffd"])"));
  EXPECT_EQ(doc.ToText(), R"(["line\nfeed \"quoted\" back\\slash / tab\t \b\f\r",)"
                          R"("\u00ad\u0001\u007f\u0085\u2028\u200d\ufeff\uffff",)"
                          "\"中文 é € \xF0\x9F\x98\x80 \\ufffd\"]");
  EXPECT_EQ(doc.GetText("[0]").substr(0, 5), "line\n");
}

TEST(JsonDocument, NumbersAreWrittenAsTheirShortestDouble) {
  struct Case {
    std::string json, text;
  };
  for (const Case& c : std::vector<Case>{
           {"0.1", "0.1"},
           {"200", "200"},
           {"-0", "0"},
           {"-0.0", "0"},
           {"1e21", "1e+21"},
           {"1e20", "100000000000000000000"},
           {"1e-7", "1e-7"},
           {"0.000001", "0.000001"},
           {"123456789012345678901", "123456789012345680000"},
           {"12345678901234567890", "12345678901234567000"},
           {"9007199254740993", "9007199254740992"},
           {"-9223372036854775808", "-9223372036854776000"},
           {"1.5e300", "1.5e+300"},
           {"2.5E-10", "2.5e-10"},
           {"0.30000000000000004", "0.30000000000000004"},
           {"123.456", "123.456"},
           {"-1234.5e3", "-1234500"},
       }) {
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse("[" + c.json + "]")) << c.json;
    EXPECT_EQ(doc.GetText("[0]"), c.text) << c.json;
    EXPECT_EQ(doc.ToText(), "[" + c.text + "]") << c.json;
  }
}

TEST(JsonDocument, SetTextStoresStringsAndMergesJson) {
  JsonDocument doc;
  EXPECT_EQ(doc.ToText(), "{}");
  ASSERT_TRUE(doc.SetText("name", "C:\\temp\\new"));
  EXPECT_EQ(doc.GetText("name"), "C:\\temp\\new");
  EXPECT_EQ(doc.ToText(), R"({"name":"C:\\temp\\new"})");
  JsonDocument reread;
  ASSERT_TRUE(reread.Parse(doc.ToText()));
  EXPECT_EQ(reread.GetText("name"), "C:\\temp\\new");

  EXPECT_FALSE(doc.SetText("missing.child", "x"));
  ASSERT_TRUE(
      doc.SetText("o", R"({"s":"a","b":true,"n":1,"arr":[1],"sub":{"k":1}})", JsonValueKind::Json));
  ASSERT_TRUE(doc.SetText("o", R"({"s":{"new":1},"b":false,"arr":[2,3],"sub":{"j":2},"add":0})",
                          JsonValueKind::Json));
  EXPECT_EQ(doc.GetJsonText("o"),
            R"({"s":{"new":1},"b":false,"n":1,"arr":[1,2,3],"sub":{"k":1,"j":2},"add":0})");
  ASSERT_TRUE(doc.SetText("e", "", JsonValueKind::Json));
  EXPECT_EQ(doc.GetJsonText("e"), "{}");
  EXPECT_FALSE(doc.SetText("bad", "{oops", JsonValueKind::Json));
  EXPECT_FALSE(doc.Exists("bad"));
  ASSERT_TRUE(doc.SetText("o", "[7]", JsonValueKind::Json));  // not an object: replaced
  EXPECT_EQ(doc.GetJsonText("o"), "[7]");
  ASSERT_TRUE(doc.SetText("da.o[1]", "second"));
  EXPECT_EQ(doc.GetJsonText("o"), R"([7,"second"])");
  EXPECT_FALSE(doc.SetText("o[5]", "far"));

  ASSERT_TRUE(doc.SetParsed("p", R"({"x":[1]})"));
  ASSERT_TRUE(doc.SetParsed("p", R"({"y":2})"));  // no merging
  EXPECT_EQ(doc.GetJsonText("p"), R"({"y":2})");
  EXPECT_FALSE(doc.SetParsed("p", "nope"));
  ASSERT_TRUE(doc.SetText("", "[1]", JsonValueKind::Json));
  EXPECT_EQ(doc.ToText(), "[1]");
}

TEST(JsonDocument, ABackslashStandInReadsAsABackslash) {
  JsonDocument doc;
  ASSERT_TRUE(
      doc.Parse("{\"p\":\"a\xE2\x90\x80"
                "b\",\"a\xE2\x90\x80\":1}"));
  EXPECT_EQ(doc.GetText("p"), "a\\b");
  EXPECT_EQ(doc.ToText(), R"({"p":"a\\b","a\\":1})");
  EXPECT_EQ(doc.MemberNames("")[1], "a\\");
}

TEST(JsonDocument, ArrayAndMemberEditing) {
  JsonDocument doc;
  ASSERT_TRUE(doc.AddElement("list", "b"));  // not an array yet: becomes one
  ASSERT_TRUE(doc.AddElement("list", "a", JsonValueKind::String, JsonInsert::Front));
  ASSERT_TRUE(doc.AddElement("list", R"({"c":3})", JsonValueKind::Json));
  EXPECT_EQ(doc.GetJsonText("list"), R"(["a","b",{"c":3}])");
  EXPECT_FALSE(doc.AddElement("list", "[", JsonValueKind::Json));
  EXPECT_FALSE(doc.AddElement("no.parent", "x"));

  ASSERT_TRUE(doc.SetElement(1, "list", "B"));
  ASSERT_TRUE(doc.SetElement(3, "list", "4", JsonValueKind::Json));
  EXPECT_FALSE(doc.SetElement(9, "list", "x"));
  EXPECT_FALSE(doc.SetElement(-1, "list", "x"));
  EXPECT_EQ(doc.GetJsonText("list"), R"(["a","B",{"c":3},4])");

  ASSERT_TRUE(doc.RemoveElement(0, "list"));
  EXPECT_FALSE(doc.RemoveElement(3, "list"));
  EXPECT_EQ(doc.GetJsonText("list"), R"(["B",{"c":3},4])");
  ASSERT_TRUE(doc.RemoveMember("list[1].c"));
  EXPECT_FALSE(doc.RemoveMember("list[1].c"));
  EXPECT_FALSE(doc.RemoveMember("list[0]"));
  ASSERT_TRUE(doc.RemoveMember("list"));
  EXPECT_EQ(doc.ToText(), "{}");
}

TEST(JsonDocument, NumbersInAndOut) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"n":2.5,"s":" 42 ","e":"1e3","w":"12abc","b":true,"z":""})"));
  struct Case {
    std::string path;
    double number;
  };
  for (const Case& c : std::vector<Case>{
           {"n", 2.5}, {"s", 42}, {"e", 1000}, {"w", 0}, {"b", 0}, {"z", 0}, {"missing", 0}}) {
    EXPECT_EQ(doc.GetNumber(c.path), c.number) << c.path;
  }
  ASSERT_TRUE(doc.SetNumber("x", 0.1));
  ASSERT_TRUE(doc.SetNumber("y", 1.0 / 0.0));
  EXPECT_EQ(doc.GetText("x"), "0.1");
  EXPECT_EQ(doc.GetText("y"), "Infinity");
  EXPECT_EQ(doc.GetJsonText("y"), "null");
  EXPECT_FALSE(doc.SetNumber("missing.x", 1));
}

TEST(JsonDocument, LeafValuesWalkInOrder) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"a":"x","b":[1,{"c":true}],"n":null,"d":2.5})"));
  EXPECT_EQ(doc.LeafValues(""), (std::vector<std::string>{"x", "2.5"}));
  EXPECT_EQ(doc.LeafValues("", JsonLeaves::Recursive),
            (std::vector<std::string>{"x", "1", "true", "2.5"}));
  EXPECT_EQ(doc.LeafValues("b"), (std::vector<std::string>{"1"}));
  EXPECT_TRUE(doc.LeafValues("a").empty());
}

}  // namespace
}  // namespace qv
