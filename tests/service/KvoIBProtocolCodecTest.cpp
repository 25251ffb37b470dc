#include "app/service/KvoIBProtocolDecoder.h"
#include "app/service/KvoIBProtocolEncoder.h"
#include "app/service/KvoIBProtocolNode.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

using Node = KvoIBProtocolNode;

QByteArray encode(const Node& root) { return KvoIBProtocolEncoder().xmlDataWithRootNode(root); }

KvoIBProtocolNodePtr decode(const QByteArray& data, bool trim = false) {
  KvoIBProtocolDecoder decoder;
  decoder.setTrimWhiteSpaceOnDecode(trim);
  return decoder.rootNodeWithXMLData(data);
}

TEST(KvoIBProtocolEncoderTest, WritesTabsSelfClosingElementsAndEscapes) {
  auto a = Node::nodeWithName(u"a"_s);
  a->addChildNode(Node::nodeWithName(u"b"_s, u"x"_s));
  a->addChildNode(Node::nodeWithName(u"c"_s));
  EXPECT_EQ(encode(*a),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n\t<b>x</b>\n\t<c />\n</a>\n");

  const auto line = [](const KvoIBProtocolNodePtr& node) { return encode(*node).split('\n')[1]; };
  EXPECT_EQ(line(Node::nodeWithName(u"t"_s, u"a&b<c"_s)), "<t>a&b<c</t>");
  EXPECT_EQ(line(Node::nodeWithName(u"t"_s, u"a&b<c'\t"_s, true)), "<t>a&amp;b&lt;c&apos;</t>");
}

TEST(KvoIBProtocolDecoderTest, ReadsElementsTextsAndCdata) {
  auto root = decode(
      "<r>\n  <v>1</v>\n  <v a=\"x\">2</v><e/><m>a<![CDATA[b]]>c</m>"
      "<q>&lt;&amp;&#x41;&#66;</q></r>");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->name(), u"r"_s);
  EXPECT_EQ(root->text(), std::nullopt);
  const auto values = root->childNodeArrayWithName(u"v"_s);
  ASSERT_EQ(values.size(), 2);
  EXPECT_EQ(values[0]->text(), u"1"_s);
  EXPECT_EQ(values[1]->text(), u"2"_s);
  EXPECT_EQ(root->childNodeWithName(u"e"_s)->text(), QString());
  const auto mixed = root->childNodeWithName(u"m"_s);
  EXPECT_EQ(mixed->text(), u"ac"_s);
  EXPECT_EQ(root->childNodeWithName(u"q"_s)->text(), u"<&AB"_s);
}

// Broken documents give no tree unless the root closed; entity declarations and nesting
// deeper than any real answer are refused; trimming is of the whole document, when asked.
TEST(KvoIBProtocolDecoderTest, WhichDocumentsGiveATree) {
  const QByteArray laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
      "<r>&c;</r>";
  const QByteArray padded = "\n  \t<?xml version=\"1.0\"?><r> x </r>\n";
  const auto nested = [](int depth) {
    return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
  };
  const int depth = KvoIBProtocolNode::kMaxDepth;
  const std::tuple<const char*, QByteArray, bool, bool> cases[] = {
      {"nothing", QByteArray(), false, false},
      {"root not closed", "<r><a>1</a>", false, false},
      {"mismatched end tag", "<r><a>1</b></r>", false, false},
      {"not XML", "not xml", false, false},
      {"attribute twice", "<r a='1' a='2'/>", false, false},
      {"leading NUL", QByteArray("\0<r/>", 5), false, false},
      {"UTF-16 byte-order mark", "\xff\xfe<", false, false},
      {"junk after the closed root", "<r><a>1</a></r><junk", false, true},
      {"billion laughs", laughs, false, false},
      {"external entity",
       R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY x SYSTEM "file:///etc/passwd">]><r>&x;</r>)",
       false, false},
      {"parameter entity",
       R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY % p SYSTEM "http://127.0.0.1:9/x">%p;]><r/>)",
       false, false},
      {"document type without entities", "<!DOCTYPE r><r/>", false, true},
      {"deepest allowed", nested(depth), false, true},
      {"one level deeper", nested(depth + 1), false, false},
      {"200000 open elements", QByteArray("<a>").repeated(200000), false, false},
      {"space before the declaration", padded, false, false},
      {"space before the declaration, trimmed", padded, true, true},
      {"invalid UTF-8, trimmed", "<r>\xff</r>", true, false},
  };
  for (const auto& [what, document, trim, reads] : cases) {
    EXPECT_EQ(decode(document, trim) != nullptr, reads) << what;
  }
  EXPECT_EQ(decode("<r><a>1</a></r><junk")->childNodeArray().size(), 1);
  EXPECT_EQ(decode(padded, true)->text(), u" x "_s);  // inside the root, nothing is trimmed
}

}  // namespace
