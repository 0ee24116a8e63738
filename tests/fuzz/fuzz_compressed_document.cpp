// Fuzz target for the compressed framing: any bytes, inflated as an entry or loaded as a
// document from a package, either give exactly the announced bytes or a named damage.
#include "data/compressed_document.h"
#include "fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string BigEndian(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    InflatedEntry inflated = InflateEntry(data, size);
    if (inflated.ok()) {
        uint32_t announced = uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
                             uint32_t{data[3]} << 24;
        FuzzCheck(inflated.bytes.size() == announced);
    } else {
        FuzzCheck(inflated.bytes.empty() && !inflated.message.empty());
    }

    // The same bytes as the document entry of a one-entry package.
    std::string field = "demo.xmlz";
    field.resize(32, '\0');
    uint32_t start = 3 + 40 + 32;
    std::string package_bytes = std::string("DP\x01", 3) + field + BigEndian(start) +
                                BigEndian(start + static_cast<uint32_t>(size) - 1) +
                                std::string(32, '\0') +
                                std::string(reinterpret_cast<const char*>(data), size);
    std::FILE* package = fmemopen(package_bytes.data(), package_bytes.size(), "rb");
    if (!package)
        return 0;
    CompressedDocument document = LoadCompressedDocument(package, "demo.xmlz");
    FuzzCheck(document.ok() == inflated.ok());
    if (document.ok())
        FuzzCheck(document.root && document.text.size() == inflated.bytes.size() &&
                  document.text.c_str()[document.text.size()] == '\0');
    std::fclose(package);
    return 0;
}
