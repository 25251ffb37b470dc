#include "app/service/KvoIBProtocolDecoder.h"
#include "app/service/KvoIBProtocolEncoder.h"
#include "app/service/KvoIBProtocolNode.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

using Node = KvoIBProtocolNode;

QByteArray encode(const Node& root) { return KvoIBProtocolEncoder().xmlDataWithRootNode(root); }

KvoIBProtocolNodePtr decode(const QByteArray& data, bool trim = false) {
  KvoIBProtocolDecoder decoder;
  decoder.setTrimWhiteSpaceOnDecode(trim);
  return decoder.rootNodeWithXMLData(data);
}

TEST(KvoIBProtocolEncoderTest, WritesTabsSelfClosingElementsAttributesAndEscapes) {
  auto a = Node::nodeWithName(u"a"_s);
  a->addChildNode(Node::nodeWithName(u"b"_s, u"x"_s));
  a->addChildNode(Node::nodeWithName(u"c"_s));
  EXPECT_EQ(encode(*a),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n\t<b>x</b>\n\t<c />\n</a>\n");
  EXPECT_EQ(encode(*Node::nodeWithName(u"r"_s)),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r />\n");
  // Children win over the node's own text; an empty text is written as no text.
  auto both = Node::nodeWithName(u"p"_s, u"ignored"_s);
  both->addChildNode(Node::nodeWithName(u"q"_s, QString()));
  EXPECT_EQ(encode(*both), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<p>\n\t<q />\n</p>\n");

  const auto line = [](const KvoIBProtocolNodePtr& node) { return encode(*node).split('\n')[1]; };
  auto node = Node::nodeWithName(u"e"_s);
  node->attributes().insert(u"lang"_s, u"en"_s);
  node->attributes().insert(u"id"_s, u"7"_s);
  EXPECT_EQ(line(node), "<e id=\"7\" lang=\"en\" />");
  node->setAttributesOrder(QStringList{u"lang"_s, u"missing"_s, u"id"_s});
  EXPECT_EQ(line(node), "<e lang=\"en\" id=\"7\" />");
  EXPECT_EQ(line(Node::nodeWithName(u"t"_s, u"a&b<c"_s)), "<t>a&b<c</t>");
  EXPECT_EQ(line(Node::nodeWithName(u"t"_s, u"a&b<c'\t"_s, true)), "<t>a&amp;b&lt;c&apos;</t>");
}

TEST(KvoIBProtocolNodeTest, NoChildIsIgnoredAndAttributesFilterChildren) {
  auto root = Node::nodeWithName(u"r"_s);
  root->addChildNode(nullptr);
  for (const char* value : {"1", "2"}) {
    auto v = Node::nodeWithName(u"v"_s, QString::fromLatin1(value));
    v->attributes().insert(u"k"_s, QString::fromLatin1(value));
    root->addChildNode(v);
  }
  ASSERT_EQ(root->childNodeArray().size(), 2);
  const auto matching = root->childNodeArrayWithName(u"v"_s, u"k"_s, u"2"_s);
  ASSERT_EQ(matching.size(), 1);
  EXPECT_EQ(matching.first()->text(), u"2"_s);
}

TEST(KvoIBProtocolNodeTest, NumbersSaturateAndStopAtTheFirstNonDigit) {
  constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
  constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
  const struct {
    std::optional<QString> text;
    int32_t intValue;
    int64_t int64Value;
  } cases[] = {
      {std::nullopt, 0, 0},
      {u"  -12abc"_s, -12, -12},
      {u"+42"_s, 42, 42},
      {u"abc"_s, 0, 0},
      {u""_s, 0, 0},
      {u"-"_s, 0, 0},
      {u"2147483648"_s, kMax32, 2147483648},
      {u"-2147483649"_s, kMin32, -2147483649},
      {u"99999999999999999999"_s, kMax32, kMax64},
      {u"-9223372036854775808"_s, kMin32, kMin64},
      {u"-99999999999999999999"_s, kMin32, kMin64},
  };
  for (const auto& c : cases) {
    Node node;
    node.setText(c.text);
    EXPECT_EQ(node.intValue(), c.intValue) << c.text.value_or(u"(none)"_s).toStdString();
    EXPECT_EQ(node.int64Value(), c.int64Value) << c.text.value_or(u"(none)"_s).toStdString();
  }
}

TEST(KvoIBProtocolNodeTest, DateValue) {
  const QDate day(2024, 1, 31);
  const std::pair<std::optional<QString>, std::optional<QDateTime>> cases[] = {
      {u"20240131 23:59:59"_s, QDateTime(day, QTime(23, 59, 59))},
      {u"20240131"_s, QDateTime(day, QTime(0, 0))},
      {u"20240131 7"_s, QDateTime(day, QTime(7, 0))},
      {u"20240131 7:05"_s, QDateTime(day, QTime(7, 5))},
      {u"2024013"_s, std::nullopt},
      {u"20241301"_s, std::nullopt},
      {u"20240131 25:00"_s, std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const auto& [text, date] : cases) {
    Node node;
    node.setText(text);
    EXPECT_EQ(node.dateValue(), date) << text.value_or(u"(none)"_s).toStdString();
  }
}

TEST(KvoIBProtocolNodeTest, KeyedArchiveRoundTrip) {
  auto root = Node::nodeWithName(u"r"_s);
  root->attributes().insert(u"a"_s, u"1"_s);
  root->setAttributesOrder(QStringList{u"a"_s});
  auto child = Node::nodeWithName(u"c"_s, QString());
  child->setCDATA(QByteArray("\x01raw", 4));
  root->addChildNode(child);
  root->addChildNode(Node::nodeWithName(u"d"_s, u"text"_s));

  const QVariantMap archive = root->keyedArchive();
  EXPECT_TRUE(archive.contains(u"childNodeArray"_s));
  EXPECT_FALSE(archive.contains(u"text"_s));
  EXPECT_FALSE(archive.contains(u"CDATA"_s));

  const KvoIBProtocolNodePtr back = Node::nodeWithKeyedArchiveData(root->keyedArchiveData());
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(encode(*back), encode(*root));
  EXPECT_EQ(back->attributesOrder(), root->attributesOrder());
  ASSERT_EQ(back->childNodeArray().size(), 2);
  EXPECT_EQ(back->childNodeArray()[0]->CDATA(), QByteArray("\x01raw", 4));
  EXPECT_EQ(back->childNodeArray()[0]->text(), QString());
  EXPECT_EQ(back->childNodeArray()[0]->parentNode(), back);
  EXPECT_EQ(back->text(), std::nullopt);

  EXPECT_EQ(Node::nodeWithKeyedArchiveData("not a property list"), nullptr);
  EXPECT_EQ(Node::nodeWithKeyedArchive(QVariantList{}), nullptr);
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
  EXPECT_EQ(values[1]->attributes().value(u"a"_s), u"x"_s);
  EXPECT_EQ(values[1]->attributesOrder(), std::nullopt);
  EXPECT_EQ(root->childNodeWithName(u"e"_s)->text(), QString());
  const auto mixed = root->childNodeWithName(u"m"_s);
  EXPECT_EQ(mixed->text(), u"ac"_s);
  EXPECT_EQ(mixed->CDATA(), QByteArray("b"));
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

TEST(KvoIBProtocolDecoderTest, ReadsLocalFileAddressesOnlyAndCanBeReused) {
  QTemporaryFile file;
  ASSERT_TRUE(file.open());
  file.write("<r><v>1</v></r>");
  file.close();
  KvoIBProtocolDecoder decoder;
  const auto fromFile = decoder.rootNodeWithContentsOfURL(QUrl::fromLocalFile(file.fileName()));
  ASSERT_NE(fromFile, nullptr);
  EXPECT_EQ(fromFile->childNodeWithName(u"v"_s)->intValue(), 1);
  EXPECT_EQ(decoder.rootNodeWithContentsOfURL(QUrl(u"https://127.0.0.1:9/x"_s)), nullptr);
  EXPECT_EQ(decoder.rootNodeWithXMLData("<broken>"), nullptr);
  EXPECT_NE(decoder.rootNodeWithXMLData("<ok/>"), nullptr);
}

TEST(KvoIBProtocolCodecTest, EncodedTreesReadBack) {
  auto root = Node::nodeWithName(u"firmware_demand"_s);
  root->addChildNode(Node::nodeWithName(u"a"_s, u"x & \"y\""_s, true));
  auto inner = Node::nodeWithName(u"b"_s);
  inner->addChildNode(Node::nodeWithName(u"c"_s, u"\u00e9\u20ac"_s));
  root->addChildNode(inner);
  const auto back = decode(encode(*root));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->childNodeWithName(u"a"_s)->text(), u"x & \"y\""_s);
  EXPECT_EQ(back->childNodeWithName(u"b"_s)->childNodeWithName(u"c"_s)->text(), u"\u00e9\u20ac"_s);
}

}  // namespace
