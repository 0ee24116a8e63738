// The XML tree: the parser's reading of the dialect (table-driven, including the readings
// productions rely on), lookups, the building operations, the writer's exact format, the text
// functions and the growing text buffer.
#include "data/xml.h"

#include "support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace korvane {
namespace {

// A compact picture of a tree: name ("~" for none), [attributes] with values in quotes ("~"
// for a value never closed), (text), {children}.
std::string Dump(const XmlNode& node) {
    std::string out = node.name ? *node.name : "~";
    if (!node.attributes.empty()) {
        out += "[";
        for (size_t i = 0; i < node.attributes.size(); ++i) {
            const XmlAttribute& a = node.attributes[i];
            out += (i ? "," : "") + a.name + "=" + (a.has_value ? "'" + a.value + "'" : "~");
        }
        out += "]";
    }
    if (node.text)
        out += "(" + *node.text + ")";
    if (node.first_child) {
        out += "{";
        for (const XmlNode* c = node.first_child.get(); c; c = c->next_sibling.get())
            out += Dump(*c) + (c->next_sibling ? "," : "");
        out += "}";
    }
    return out;
}

struct ParseCase {
    const char* text;
    const char* tree;
};

TEST(ParseXml, ReadsTheDialectByteForByte) {
    const ParseCase cases[] = {
        {"", "~"},
        {"<a><b/><c/></a>", "~{a{b,c}}"},
        {"<a><b>t</b><c>u</c></a>", "~{a{b(t),c(u)}}"},
        // Text is every byte between the tags, only for elements without children.
        {"<a>  x </a>", "~{a(  x )}"},
        {"<a>x<b/></a>", "~{a{b}}"},
        {"<a>\n  <b/>\n</a>", "~{a{b}}"},
        {"<a></a>", "~{a}"},
        {"<a>x>y</a>", "~{a(x>y)}"},
        {"<a>x<!-- y -->z</a>", "~{a(x<!-- y -->z)}"},
        // Attribute names run up to "=", blanks included; only double quotes delimit values.
        {"<a k = \"v\"/>", "~{a[k ='v']}"},
        {"<a\tb=\"1\"\nc=\"2\"/>", "~{a[b='1',c='2']}"},
        {"<a k='v'/>", "~{a[k=~]}"},
        {"<a b c=\"1\" d>", "~{a[b c='1']}"},
        {"<a k=\"x<y=z\"/>", "~{a[k='x<y=z']}"},
        {"<a k=\"1\" k=\"2\"/>", "~{a[k='1',k='2']}"},
        // A value is none until its closing quote; ">" and "/>" end the tag inside it.
        {"<a k=\"v", "~{a[k=~]}"},
        {"<a k=\"v>w\"/>", "~{a[k=~]}"},
        {"<a k=\"x/>y\"/>", "~{a[k=~]}"},
        // Element names end at blanks, ">" and "/>" only.
        {"<a=b\"c/d>", "~{a=b\"c/d}"},
        {"<>", "~{~}"},
        {"<a><b", "~{a{~}}"},
        // Declarations, comments and "<!" forms before the top element.
        {"<?xml version=\"1.0\"?>\n<!-- c > d --><a/>", "~{a}"},
        {"<!DOCTYPE a><a/>", "~{a}"},
        {"<!--><a/>", "~{a}"},
        {"<!-- x /> --><a/>", "~{a}"},
        {"<?pi a=\"<b>\"?><a/>", "~{a}"},
        // End tags are not matched against start tags.
        {"<a><b></c></d><e/>", "~{a{b},e}"},
        // "/>" in content closes the current element, which makes the next one a sibling.
        {"<r><a>x/></a><b/></r>", "~{r{a},b}"},
        // Closing more than was opened stays at the top level; so does a stray end tag first.
        {"<a/></x></y><b/>", "~{a,b}"},
        {"junk</x><a/>", "~{a}"},
        {"/><a/>", "~{a}"},
    };
    for (const auto& c : cases) {
        auto root = ParseXml(c.text);
        EXPECT_EQ(Dump(*root), c.tree) << "text: " << c.text;
    }
}

TEST(ParseXml, LinksParentsAndSiblings) {
    auto root = ParseXml("<a><b/><c/></a>");
    XmlNode* a = root->first_child.get();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(a->parent, root.get());
    XmlNode* b = a->first_child.get();
    XmlNode* c = b->next_sibling.get();
    EXPECT_EQ(b->parent, a);
    EXPECT_EQ(c->parent, a);
    EXPECT_EQ(c->next_sibling, nullptr);
    EXPECT_FALSE(a->text);
}

TEST(ParseXml, HandlesAMillionNestedOrSiblingElements) {
    constexpr size_t kCount = 1000000;
    std::string nested;
    for (size_t i = 0; i < kCount; ++i)
        nested += "<a>";
    auto deep = ParseXml(nested.c_str());
    size_t depth = 0;
    for (const XmlNode* n = deep->first_child.get(); n; n = n->first_child.get())
        ++depth;
    EXPECT_EQ(depth, kCount);
    // Its text would grow with the square of the depth: refused, not attempted.
    EXPECT_FALSE(WriteXml(*deep));
    deep.reset();

    std::string flat;
    for (size_t i = 0; i < kCount; ++i)
        flat += "<a/>";
    auto wide = ParseXml(flat.c_str());
    auto text = WriteXml(*wide);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->length, 3 + 7 * kCount + 4);
    EXPECT_EQ(text->View().substr(0, 10), "<>\n  <a/>\n");
}

TEST(GetXmlAttribute, FindsTheFirstClosedValueByExactName) {
    auto root = ParseXml("<a k=\"1\" k=\"2\" s =\"3\" open=\"x/>");
    const XmlNode& a = *root->first_child;
    EXPECT_STREQ(GetXmlAttribute(a, "k"), "1");
    EXPECT_EQ(GetXmlAttribute(a, "s"), nullptr);
    EXPECT_STREQ(GetXmlAttribute(a, "s "), "3");
    EXPECT_EQ(GetXmlAttribute(a, "open"), nullptr);
    EXPECT_EQ(GetXmlAttribute(a, "K"), nullptr);
    EXPECT_EQ(GetXmlAttribute(*root, "k"), nullptr);
}

TEST(XmlBuilding, SetsAttributesTextsAndChildren) {
    auto node = NewXmlNode("x");
    SetXmlAttribute(*node, "a", "1");
    SetXmlAttributeUnsigned(*node, "u", 4294967295u);
    SetXmlAttributeInt(*node, "i", -5);
    SetXmlAttributeFloat(*node, "f", 1.5f);
    SetXmlAttribute(*node, "a", "2"); // replaces, keeps the place
    XmlNode* first = AddXmlChild(*node, "y");
    XmlNode* second = AddXmlChild(*node, "z");
    SetXmlTextUnsigned(*first, 7);
    SetXmlTextFloatPrecise(*second, 0.1f);
    EXPECT_EQ(Dump(*node), "x[a='2',u='4294967295',i='-5',f='1.500000']{y(7),z(0.100000001490)}");
    EXPECT_EQ(first->parent, node.get());
    EXPECT_EQ(second->parent, node.get());

    // Large floats keep every digit instead of being cut to 31 characters.
    SetXmlAttributeFloat(*node, "f", -3.0e38f);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%f", static_cast<double>(-3.0e38f));
    EXPECT_STREQ(GetXmlAttribute(*node, "f"), expected);
    SetXmlTextFloat(*first, 0.25f);
    EXPECT_EQ(*first->text, "0.250000");
}

TEST(FreeXmlTree, FreesTheNodeAndKeepsItsSiblings) {
    auto root = ParseXml("<a><b/></a>");
    FreeXmlTree(root);
    EXPECT_EQ(root, nullptr);

    auto top = ParseXml("<a/><b><c/></b>");
    std::unique_ptr<XmlNode> a = std::move(top->first_child);
    FreeXmlTree(a);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(Dump(*a), "b{c}");
}

TEST(WriteXml, WritesTheDocumentedFormat) {
    auto x = NewXmlNode("x");
    SetXmlAttribute(*x, "a", "1");
    EXPECT_EQ(WriteXml(*x)->View(), "<x a=\"1\"/>\n");

    AddXmlChild(*x, "y");
    EXPECT_EQ(WriteXml(*x)->View(), "<x a=\"1\">\n  <y/>\n</x>\n");

    // Deeper levels, a value never closed, texts (whose children are not written) and the
    // unnamed root of a parsed document.
    auto root = ParseXml("<a><b k=\"v><c>t</c><d>u<e/></d></b></a>");
    EXPECT_EQ(Dump(*root), "~{a{b[k=~]{c(t),d{e}}}}");
    SetXmlText(*root->first_child->first_child->first_child->next_sibling, "w");
    EXPECT_EQ(WriteXml(*root)->View(), "<>\n"
                                       "  <a>\n"
                                       "    <b k=\"\">\n"
                                       "      <c>t</c>\n"
                                       "      <d>w</d>\n"
                                       "    </b>\n"
                                       "  </a>\n"
                                       "</>\n");
    // Only the node and its descendants: a child's siblings stay out.
    EXPECT_EQ(WriteXml(*root->first_child->first_child->first_child)->View(), "<c>t</c>\n");
    EXPECT_EQ(WriteXml(*root)->capacity, 16384u);
}

TEST(WriteXml, RoundTripsAProductionShapedDocument) {
    auto demo = NewXmlNode("demo");
    SetXmlAttributeUnsigned(*demo, "version", 2);
    XmlNode* textures = AddXmlChild(*demo, "textures");
    for (int i = 0; i < 3; ++i) {
        XmlNode* t = AddXmlChild(*textures, "texture");
        SetXmlAttributeInt(*t, "width", 256 << i);
        SetXmlAttributeFloat(*t, "scale", 0.5f * i);
    }
    XmlNode* shader = AddXmlChild(*demo, "fragment_shader");
    SetXmlText(*shader, EscapeXmlText("if (a < b && c > d) x = 1;").c_str());
    std::string long_text(20000, 'q'); // longer than a formatting scratch area
    SetXmlText(*AddXmlChild(*demo, "data"), long_text.c_str());

    auto first = WriteXml(*demo);
    ASSERT_TRUE(first);
    auto parsed = ParseXml(first->data);
    EXPECT_EQ(WriteXml(*parsed->first_child)->View(), first->View());
    std::string shader_text = *parsed->first_child->first_child->next_sibling->text;
    UnescapeXmlText(shader_text);
    EXPECT_EQ(shader_text, "if (a < b && c > d) x = 1;");
    EXPECT_EQ(parsed->first_child->first_child->next_sibling->next_sibling->text->size(), 20000u);
}

TEST(XmlText, EscapesAndUnescapesOnlyAngleBrackets) {
    EXPECT_EQ(EscapeXmlText("a<b>&c\"d"), "a&lt;b&gt;&c\"d");
    const std::pair<const char*, const char*> unescapes[] = {
        {"a &lt;= b &amp; c", "a <= b &amp; c"},
        {"&gt;&lt;&gt", "><&gt"},
        {"&&lt;;", "&<;"},
        {"&lt", "&lt"},
        {"", ""},
    };
    for (const auto& [in, out] : unescapes) {
        std::string text = in;
        UnescapeXmlText(text);
        EXPECT_EQ(text, out) << in;
        std::string c_text = in;
        UnescapeXmlText(c_text.data());
        EXPECT_STREQ(c_text.c_str(), out) << in;
    }
}

TEST(AppendFormatted, DoublesTheCapacityUntilLengthPlusThreeFits) {
    TextBuffer buffer(16);
    struct Step {
        const char* piece;
        uint32_t capacity;
    };
    const Step steps[] = {
        {"abcdefghijklm", 16}, // 0 + 3 + 13 = 16 fits
        {"n", 32},             // 13 + 3 + 1 = 17
        {"0123456789abcdefghijklmnopqrstuvwxyz", 64},
    };
    std::string expected;
    for (const auto& step : steps) {
        ASSERT_TRUE(AppendFormatted(buffer, "%s", step.piece));
        expected += step.piece;
        EXPECT_EQ(buffer.capacity, step.capacity) << step.piece;
    }
    EXPECT_EQ(buffer.View(), expected);
    EXPECT_EQ(buffer.data[buffer.length], '\0');

    TextBuffer empty;
    ASSERT_TRUE(AppendFormatted(empty, "%d-%s", 42, "x"));
    EXPECT_EQ(empty.View(), "42-x");
    EXPECT_EQ(empty.capacity, 8u); // 1, 2, 4, 8 for 0 + 3 + 4

    // A piece longer than the formatting scratch area is appended whole.
    TextBuffer big(16);
    std::string piece(9000, 'z');
    ASSERT_TRUE(AppendFormatted(big, "<%s>", piece.c_str()));
    EXPECT_EQ(big.length, 9002u);
    EXPECT_EQ(big.capacity, 16384u);
    EXPECT_EQ(big.View(), "<" + piece + ">");
}

TEST(LoadXmlFile, ParsesAFileAndReportsAMissingOne) {
    test::TempDir dir;
    test::WriteFile(dir / "doc.xml", std::string("<a k=\"v\">t</a>"));
    auto root = LoadXmlFile((dir / "doc.xml").c_str());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Dump(*root), "~{a[k='v'](t)}");
    EXPECT_EQ(LoadXmlFile((dir / "missing.xml").c_str()), nullptr);
}

} // namespace
} // namespace korvane
