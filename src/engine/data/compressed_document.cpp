#include "data/compressed_document.h"

#include "data/package.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <stb_image.h>

// Defined by stb_image_write, whose header declares it only with the implementation.
extern "C" unsigned char* stbi_zlib_compress(unsigned char* data, int data_len, int* out_len,
                                             int quality);

namespace korvane {

namespace {

constexpr size_t kPrefixSize = 4;
// stb_image_write's default level for its own PNG streams.
constexpr int kCompressionQuality = 8;
// The zlib stream of no bytes: header, one final fixed-Huffman block holding only its end
// code, Adler-32 of nothing. stbi_zlib_compress writes no block at all for empty input, which
// no decoder accepts.
constexpr uint8_t kEmptyStream[] = {0x78, 0x5e, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};

uint32_t ReadLittleEndian(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// Checks the prefix against the stream and inflates into out, which ends up holding exactly
// the announced bytes. Returns what is wrong, or an empty text.
template <typename Buffer>
std::string InflateInto(const uint8_t* entry, size_t entry_size, Buffer& out) {
    if (entry_size < kPrefixSize)
        return "the entry has " + std::to_string(entry_size) +
               " bytes, too few for its 4-byte size prefix";
    uint32_t size = ReadLittleEndian(entry);
    size_t stream_size = entry_size - kPrefixSize;
    if (stream_size > INT_MAX)
        return "the compressed stream of " + std::to_string(stream_size) + " bytes is too large";
    if (size > kMaxInflatedSize)
        return "the size prefix says " + std::to_string(size) + " bytes, more than the limit of " +
               std::to_string(kMaxInflatedSize);
    if (size > stream_size * kMaxDeflateRatio)
        return "the size prefix says " + std::to_string(size) + " bytes, more than a stream of " +
               std::to_string(stream_size) + " bytes can hold";
    // One byte more than needed, so that the output pointer is valid even for an empty text.
    out.resize(size_t{size} + 1);
    int inflated = stbi_zlib_decode_buffer(reinterpret_cast<char*>(&out[0]), static_cast<int>(size),
                                           reinterpret_cast<const char*>(entry + kPrefixSize),
                                           static_cast<int>(stream_size));
    out.resize(size);
    if (inflated < 0)
        return "the zlib stream is damaged or holds more than " + std::to_string(size) + " bytes";
    if (static_cast<uint32_t>(inflated) < size)
        return "the zlib stream ends after " + std::to_string(inflated) + " of " +
               std::to_string(size) + " bytes";
    return std::string();
}

} // namespace

InflatedEntry InflateEntry(const uint8_t* entry, size_t entry_size) {
    InflatedEntry result;
    result.message = InflateInto(entry, entry_size, result.bytes);
    if (result.message.empty()) {
        result.status = DocumentStatus::kOk;
    } else {
        result.status = DocumentStatus::kDamaged;
        result.bytes.clear();
    }
    return result;
}

CompressedDocument LoadCompressedDocument(std::FILE* package, const char* name) {
    CompressedDocument document;
    PackageEntryResult entry = ReadPackageEntry(package, name);
    if (!entry.found()) {
        document.status = entry.status == PackageStatus::kAbsent ? DocumentStatus::kAbsent
                                                                 : DocumentStatus::kDamaged;
        document.message = std::move(entry.message);
        return document;
    }
    std::string problem = InflateInto(entry.bytes.data(), entry.bytes.size(), document.text);
    if (!problem.empty()) {
        document.status = DocumentStatus::kDamaged;
        document.message = std::string(name) + ": " + problem;
        document.text.clear();
        return document;
    }
    entry.bytes = std::vector<uint8_t>();
    document.root = ParseXml(document.text.c_str());
    document.status = DocumentStatus::kOk;
    return document;
}

bool CompressDocument(const uint8_t* bytes, size_t size, std::vector<uint8_t>& framed,
                      std::string& message) {
    if (size > kMaxInflatedSize) {
        message = "the document has " + std::to_string(size) + " bytes, more than the limit of " +
                  std::to_string(kMaxInflatedSize);
        return false;
    }
    if (size == 0) {
        framed.assign(kPrefixSize, 0);
        framed.insert(framed.end(), std::begin(kEmptyStream), std::end(kEmptyStream));
        return true;
    }
    int stream_size = 0;
    unsigned char* stream =
        stbi_zlib_compress(const_cast<unsigned char*>(bytes), static_cast<int>(size), &stream_size,
                           kCompressionQuality);
    if (!stream) {
        message = "the document could not be compressed";
        return false;
    }
    framed.resize(kPrefixSize + static_cast<size_t>(stream_size));
    uint32_t prefix = static_cast<uint32_t>(size);
    for (size_t i = 0; i < kPrefixSize; ++i)
        framed[i] = static_cast<uint8_t>(prefix >> (8 * i));
    std::copy(stream, stream + stream_size, framed.begin() + kPrefixSize);
    std::free(stream);
    return true;
}

} // namespace korvane
