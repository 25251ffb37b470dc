#include "app/service/KvoIBProtocolDecoder.h"
#include "app/service/KvoIBProtocolEncoder.h"
#include "app/service/KvoIBProtocolNode.h"
#include "tests/support/QStringPrinter.h"

#include <gtest/gtest.h>

#include <QTemporaryFile>

#include <limits>

namespace {

using Node = KvoIBProtocolNode;

QByteArray encode(const Node& root) { return KvoIBProtocolEncoder().xmlDataWithRootNode(root); }

KvoIBProtocolNodePtr decode(const QByteArray& data, bool trim = false) {
  KvoIBProtocolDecoder decoder;
  decoder.setTrimWhiteSpaceOnDecode(trim);
  return decoder.rootNodeWithXMLData(data);
}

TEST(KvoIBProtocolEncoderTest, WritesTabsSelfClosingElementsAndLineFeeds) {
  auto a = Node::nodeWithName(QStringLiteral("a"));
  a->addChildNode(Node::nodeWithName(QStringLiteral("b"), QStringLiteral("x")));
  a->addChildNode(Node::nodeWithName(QStringLiteral("c")));
  EXPECT_EQ(encode(*a),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\n\t<b>x</b>\n\t<c />\n</a>\n");
  EXPECT_EQ(encode(*Node::nodeWithName(QStringLiteral("r"))),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r />\n");
  // Children win over the node's own text; an empty text is written as no text.
  auto both = Node::nodeWithName(QStringLiteral("p"), QStringLiteral("ignored"));
  both->addChildNode(Node::nodeWithName(QStringLiteral("q"), QString()));
  EXPECT_EQ(encode(*both), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<p>\n\t<q />\n</p>\n");
}

TEST(KvoIBProtocolEncoderTest, AttributeOrderAndEscaping) {
  auto node = Node::nodeWithName(QStringLiteral("e"));
  node->attributes().insert(QStringLiteral("lang"), QStringLiteral("en"));
  node->attributes().insert(QStringLiteral("id"), QStringLiteral("7"));
  EXPECT_EQ(encode(*node).split('\n')[1], "<e id=\"7\" lang=\"en\" />");
  node->setAttributesOrder(
      QStringList{QStringLiteral("lang"), QStringLiteral("missing"), QStringLiteral("id")});
  EXPECT_EQ(encode(*node).split('\n')[1], "<e lang=\"en\" id=\"7\" />");

  EXPECT_EQ(
      encode(*Node::nodeWithName(QStringLiteral("t"), QStringLiteral("a&b<c"))).split('\n')[1],
      "<t>a&b<c</t>");
  EXPECT_EQ(encode(*Node::nodeWithName(QStringLiteral("t"), QStringLiteral("a&b<c'\t"), true))
                .split('\n')[1],
            "<t>a&amp;b&lt;c&apos;</t>");
}

TEST(KvoIBProtocolNodeTest, NoChildIsIgnoredAndAttributesFilterChildren) {
  auto root = Node::nodeWithName(QStringLiteral("r"));
  root->addChildNode(nullptr);
  for (const char* value : {"1", "2"}) {
    auto v = Node::nodeWithName(QStringLiteral("v"), QString::fromLatin1(value));
    v->attributes().insert(QStringLiteral("k"), QString::fromLatin1(value));
    root->addChildNode(v);
  }
  ASSERT_EQ(root->childNodeArray().size(), 2);
  const auto matching =
      root->childNodeArrayWithName(QStringLiteral("v"), QStringLiteral("k"), QStringLiteral("2"));
  ASSERT_EQ(matching.size(), 1);
  EXPECT_EQ(matching.first()->text(), QStringLiteral("2"));
}

TEST(KvoIBProtocolNodeTest, NumbersSaturateAndStopAtTheFirstNonDigit) {
  struct Case {
    std::optional<QString> text;
    int32_t intValue;
    int64_t int64Value;
  };
  const Case cases[] = {
      {std::nullopt, 0, 0},
      {QStringLiteral("  -12abc"), -12, -12},
      {QStringLiteral("+42"), 42, 42},
      {QStringLiteral("abc"), 0, 0},
      {QStringLiteral(""), 0, 0},
      {QStringLiteral("-"), 0, 0},
      {QStringLiteral("2147483648"), std::numeric_limits<int32_t>::max(), 2147483648},
      {QStringLiteral("-2147483649"), std::numeric_limits<int32_t>::min(), -2147483649},
      {QStringLiteral("99999999999999999999"), std::numeric_limits<int32_t>::max(),
       std::numeric_limits<int64_t>::max()},
      {QStringLiteral("-9223372036854775808"), std::numeric_limits<int32_t>::min(),
       std::numeric_limits<int64_t>::min()},
      {QStringLiteral("-99999999999999999999"), std::numeric_limits<int32_t>::min(),
       std::numeric_limits<int64_t>::min()},
  };
  for (const Case& c : cases) {
    Node node;
    node.setText(c.text);
    EXPECT_EQ(node.intValue(), c.intValue)
        << c.text.value_or(QStringLiteral("(none)")).toStdString();
    EXPECT_EQ(node.int64Value(), c.int64Value)
        << c.text.value_or(QStringLiteral("(none)")).toStdString();
  }
}

TEST(KvoIBProtocolNodeTest, DateValue) {
  struct Case {
    std::optional<QString> text;
    std::optional<QDateTime> date;
  };
  const QDate day(2024, 1, 31);
  const Case cases[] = {
      {QStringLiteral("20240131 23:59:59"), QDateTime(day, QTime(23, 59, 59))},
      {QStringLiteral("20240131"), QDateTime(day, QTime(0, 0))},
      {QStringLiteral("20240131 7"), QDateTime(day, QTime(7, 0))},
      {QStringLiteral("20240131 7:05"), QDateTime(day, QTime(7, 5))},
      {QStringLiteral("2024013"), std::nullopt},
      {QStringLiteral("20241301"), std::nullopt},
      {QStringLiteral("20240131 25:00"), std::nullopt},
      {std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    Node node;
    node.setText(c.text);
    EXPECT_EQ(node.dateValue(), c.date) << c.text.value_or(QStringLiteral("(none)")).toStdString();
  }
}

TEST(KvoIBProtocolNodeTest, KeyedArchiveRoundTrip) {
  auto root = Node::nodeWithName(QStringLiteral("r"));
  root->attributes().insert(QStringLiteral("a"), QStringLiteral("1"));
  root->setAttributesOrder(QStringList{QStringLiteral("a")});
  auto child = Node::nodeWithName(QStringLiteral("c"), QString());
  child->setCDATA(QByteArray("\x01raw", 4));
  root->addChildNode(child);
  root->addChildNode(Node::nodeWithName(QStringLiteral("d"), QStringLiteral("text")));

  const QVariantMap archive = root->keyedArchive();
  EXPECT_TRUE(archive.contains(QStringLiteral("childNodeArray")));
  EXPECT_FALSE(archive.contains(QStringLiteral("text")));
  EXPECT_FALSE(archive.contains(QStringLiteral("CDATA")));

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
  EXPECT_EQ(root->name(), QStringLiteral("r"));
  EXPECT_EQ(root->text(), std::nullopt);
  const auto values = root->childNodeArrayWithName(QStringLiteral("v"));
  ASSERT_EQ(values.size(), 2);
  EXPECT_EQ(values[0]->text(), QStringLiteral("1"));
  EXPECT_EQ(values[1]->text(), QStringLiteral("2"));
  EXPECT_EQ(values[1]->attributes().value(QStringLiteral("a")), QStringLiteral("x"));
  EXPECT_EQ(values[1]->attributesOrder(), std::nullopt);
  EXPECT_EQ(root->childNodeWithName(QStringLiteral("e"))->text(), QString());
  const auto mixed = root->childNodeWithName(QStringLiteral("m"));
  EXPECT_EQ(mixed->text(), QStringLiteral("ac"));
  EXPECT_EQ(mixed->CDATA(), QByteArray("b"));
  EXPECT_EQ(root->childNodeWithName(QStringLiteral("q"))->text(), QStringLiteral("<&AB"));
}

TEST(KvoIBProtocolDecoderTest, TrimsTheWholeDocumentOnlyWhenAsked) {
  const QByteArray padded = "\n  \t<?xml version=\"1.0\"?><r> x </r>\n";
  EXPECT_EQ(decode(padded), nullptr);  // the declaration must come first
  const auto trimmed = decode(padded, true);
  ASSERT_NE(trimmed, nullptr);
  EXPECT_EQ(trimmed->text(), QStringLiteral(" x "));
  EXPECT_EQ(decode("<r>\xff</r>", true), nullptr);
}

TEST(KvoIBProtocolDecoderTest, BrokenDocumentsGiveNoTreeUnlessTheRootClosed) {
  for (const QByteArray& bad :
       {QByteArray(), QByteArray("<r><a>1</a>"), QByteArray("<r><a>1</b></r>"),
        QByteArray("not xml"), QByteArray("<r a='1' a='2'/>"), QByteArray("\0<r/>", 5)}) {
    EXPECT_EQ(decode(bad), nullptr) << bad.toStdString();
  }
  const auto closed = decode("<r><a>1</a></r><junk");
  ASSERT_NE(closed, nullptr);
  EXPECT_EQ(closed->childNodeArray().size(), 1);
}

TEST(KvoIBProtocolDecoderTest, RefusesEntityDeclarationsAndDeepNesting) {
  const QByteArray laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>"
      "<r>&c;</r>";
  const QByteArray external =
      R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY x SYSTEM "file:///etc/passwd">]><r>&x;</r>)";
  const QByteArray parameter =
      R"(<?xml version="1.0"?><!DOCTYPE r [<!ENTITY % p SYSTEM "http://127.0.0.1:9/x">%p;]><r/>)";
  for (const QByteArray& hostile : {laughs, external, parameter}) {
    EXPECT_EQ(decode(hostile), nullptr) << hostile.toStdString();
  }
  // A plain document type without entities is harmless.
  EXPECT_NE(decode("<!DOCTYPE r><r/>"), nullptr);

  const int depth = KvoIBProtocolNode::kMaxDepth;
  EXPECT_NE(decode(QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth)),
            nullptr);
  EXPECT_EQ(decode(QByteArray("<a>").repeated(depth + 1) + QByteArray("</a>").repeated(depth + 1)),
            nullptr);
  EXPECT_EQ(decode(QByteArray("<a>").repeated(200000)), nullptr);
}

TEST(KvoIBProtocolDecoderTest, ReadsLocalFileAddressesOnlyAndCanBeReused) {
  QTemporaryFile file;
  ASSERT_TRUE(file.open());
  file.write("<r><v>1</v></r>");
  file.close();
  KvoIBProtocolDecoder decoder;
  const auto fromFile = decoder.rootNodeWithContentsOfURL(QUrl::fromLocalFile(file.fileName()));
  ASSERT_NE(fromFile, nullptr);
  EXPECT_EQ(fromFile->childNodeWithName(QStringLiteral("v"))->intValue(), 1);
  EXPECT_EQ(decoder.rootNodeWithContentsOfURL(QUrl(QStringLiteral("https://127.0.0.1:9/x"))),
            nullptr);
  EXPECT_EQ(decoder.rootNodeWithXMLData("<broken>"), nullptr);
  EXPECT_NE(decoder.rootNodeWithXMLData("<ok/>"), nullptr);
}

TEST(KvoIBProtocolCodecTest, EncodedTreesReadBack) {
  auto root = Node::nodeWithName(QStringLiteral("firmware_demand"));
  root->addChildNode(Node::nodeWithName(QStringLiteral("a"), QStringLiteral("x & \"y\""), true));
  auto inner = Node::nodeWithName(QStringLiteral("b"));
  inner->addChildNode(Node::nodeWithName(QStringLiteral("c"), QStringLiteral("\u00e9\u20ac")));
  root->addChildNode(inner);
  const auto back = decode(encode(*root));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->childNodeWithName(QStringLiteral("a"))->text(), QStringLiteral("x & \"y\""));
  EXPECT_EQ(
      back->childNodeWithName(QStringLiteral("b"))->childNodeWithName(QStringLiteral("c"))->text(),
      QStringLiteral("\u00e9\u20ac"));
}

}  // namespace
