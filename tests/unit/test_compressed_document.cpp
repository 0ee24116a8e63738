// Compressed documents: the size-prefixed zlib framing round trip, loading a document from a
// package, and every way a damaged entry is refused instead of trusted.
#include "data/compressed_document.h"

#include "data/package.h"
#include "support/support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace korvane {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> Framed(const std::string& text) {
    std::vector<uint8_t> framed;
    std::string message;
    EXPECT_TRUE(CompressDocument(reinterpret_cast<const uint8_t*>(text.data()), text.size(), framed,
                                 message))
        << message;
    return framed;
}

std::vector<uint8_t> WithPrefix(uint32_t size, std::vector<uint8_t> framed) {
    for (int i = 0; i < 4; ++i)
        framed[i] = static_cast<uint8_t>(size >> (8 * i));
    return framed;
}

std::string SampleText() {
    std::string text = "<demo>";
    for (int i = 0; i < 200; ++i)
        text += "<texture name=\"t" + std::to_string(i) + "\" width=\"256\"/>";
    return text + "</demo>";
}

TEST(InflateEntry, RoundTripsTheFraming) {
    const std::string text = SampleText();
    std::vector<uint8_t> framed = Framed(text);
    EXPECT_LT(framed.size(), text.size());
    EXPECT_EQ(framed[0] | framed[1] << 8 | framed[2] << 16 | framed[3] << 24, int(text.size()));
    InflatedEntry inflated = InflateEntry(framed.data(), framed.size());
    ASSERT_TRUE(inflated.ok()) << inflated.message;
    EXPECT_EQ(inflated.bytes, Bytes(text));

    // The Adler-32 trailer is not verified.
    framed.back() ^= 0xff;
    EXPECT_TRUE(InflateEntry(framed.data(), framed.size()).ok());
}

TEST(InflateEntry, RefusesDamagedEntries) {
    const std::string text = SampleText();
    const std::vector<uint8_t> good = Framed(text);
    std::vector<uint8_t> cut_stream(good.begin(), good.begin() + good.size() / 2);
    std::vector<uint8_t> with_dictionary = {3, 0, 0, 0, 0x78, 0x20, 0, 0, 0, 1, 0x4b, 0x04, 0};
    struct Case {
        const char* what;
        std::vector<uint8_t> entry;
        const char* words;
    };
    const Case cases[] = {
        {"shorter than the prefix", {1, 0, 0}, "too few"},
        {"prefix alone", {0, 0, 0, 0}, "damaged"},
        {"not a zlib stream", {5, 0, 0, 0, 1, 2, 3, 4, 5, 6}, "damaged"},
        {"stream cut short", cut_stream, "damaged"},
        {"stream shorter than the prefix", WithPrefix(uint32_t(text.size()) + 1, good),
         "ends after"},
        {"stream longer than the prefix", WithPrefix(uint32_t(text.size()) - 1, good), "damaged"},
        {"absurd prefix", WithPrefix(0xFFFFFFFF, good), "limit"},
        {"beyond the deflate ratio", WithPrefix(1032 * uint32_t(good.size() - 4) + 1, good),
         "can hold"},
        {"preset dictionary", with_dictionary, "damaged"},
    };
    for (const auto& c : cases) {
        InflatedEntry inflated = InflateEntry(c.entry.data(), c.entry.size());
        EXPECT_EQ(inflated.status, DocumentStatus::kDamaged) << c.what;
        EXPECT_TRUE(inflated.bytes.empty()) << c.what;
        EXPECT_NE(inflated.message.find(c.words), std::string::npos)
            << c.what << ": " << inflated.message;
    }
}

class CompressedDocuments : public testing::Test {
  protected:
    test::TempDir dir;
    std::FILE* package = nullptr;

    void Pack(std::vector<std::pair<std::string, std::vector<uint8_t>>> entries) {
        PackageFileList list;
        for (auto& [name, bytes] : entries)
            AppendPackageFile(list, name, std::nullopt).contents = std::move(bytes);
        ASSERT_TRUE(WritePackage(list, dir / "p.dpk", nullptr).ok());
        package = std::fopen((dir / "p.dpk").c_str(), "rb");
        ASSERT_NE(package, nullptr);
    }
    ~CompressedDocuments() override {
        if (package)
            std::fclose(package);
    }
};

TEST_F(CompressedDocuments, LoadsTheTreeAndATerminatedText) {
    Pack({{"demo.xmlz", Framed("<demo><a k=\"v\"/></demo>")},
          {"empty.xmlz", Framed("")},
          {"broken.xmlz", Bytes("\x10\0\0\0junk")}});
    CompressedDocument demo = LoadCompressedDocument(package, "demo.xmlz");
    ASSERT_TRUE(demo.ok()) << demo.message;
    EXPECT_EQ(demo.text, "<demo><a k=\"v\"/></demo>");
    EXPECT_EQ(demo.text.c_str()[demo.text.size()], '\0');
    ASSERT_NE(demo.root->first_child, nullptr);
    EXPECT_EQ(*demo.root->first_child->name, "demo");
    EXPECT_STREQ(GetXmlAttribute(*demo.root->first_child->first_child, "k"), "v");

    CompressedDocument empty = LoadCompressedDocument(package, "empty.xmlz");
    ASSERT_TRUE(empty.ok()) << empty.message;
    EXPECT_EQ(empty.text, "");
    EXPECT_EQ(empty.root->first_child, nullptr);

    CompressedDocument absent = LoadCompressedDocument(package, "loading.xmlz");
    EXPECT_EQ(absent.status, DocumentStatus::kAbsent);
    EXPECT_EQ(absent.root, nullptr);

    CompressedDocument broken = LoadCompressedDocument(package, "broken.xmlz");
    EXPECT_EQ(broken.status, DocumentStatus::kDamaged);
    EXPECT_EQ(broken.root, nullptr);
    EXPECT_EQ(broken.message.rfind("broken.xmlz: ", 0), 0u) << broken.message;
}

TEST_F(CompressedDocuments, ADamagedPackageIsNotAnAbsentDocument) {
    test::WriteFile(dir / "cut.dpk", std::string("DP\x01"
                                                 "demo",
                                                 7));
    package = std::fopen((dir / "cut.dpk").c_str(), "rb");
    ASSERT_NE(package, nullptr);
    testing::internal::CaptureStdout();
    CompressedDocument demo = LoadCompressedDocument(package, "demo.xmlz");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "unexpected error\n");
    EXPECT_EQ(demo.status, DocumentStatus::kDamaged);
    EXPECT_NE(demo.message.find("truncated"), std::string::npos);
}

} // namespace
} // namespace korvane
