// The compressed framing of production documents and mesh files: a 4-byte little-endian size
// and a zlib stream holding exactly that many bytes. Inflating an entry, loading a compressed
// document into an XML tree, and compressing a document for the tools.
#pragma once

#include "data/xml.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// No production document or mesh file comes near this; a size prefix above it is taken for
// damage rather than allocated.
inline constexpr uint32_t kMaxInflatedSize = 256u << 20;
// Deflate cannot expand one byte into more than 1032 (a 258-byte match in two bits), so a
// size prefix beyond that many times the stream is damaged too.
inline constexpr uint64_t kMaxDeflateRatio = 1032;

enum class DocumentStatus {
    kOk,
    kAbsent,  // the package holds no entry of that name
    kDamaged, // the package or the entry is broken; message says how
};

struct InflatedEntry {
    DocumentStatus status = DocumentStatus::kDamaged;
    std::vector<uint8_t> bytes; // exactly the U bytes the prefix announces
    std::string message;
    bool ok() const { return status == DocumentStatus::kOk; }
};

// The inflating step alone, as mesh files use it. The entry is damaged when it is shorter than
// its prefix, the prefix is absurd, or the stream fails or does not deliver exactly U bytes.
InflatedEntry InflateEntry(const uint8_t* entry, size_t entry_size);

struct CompressedDocument {
    DocumentStatus status = DocumentStatus::kAbsent;
    std::unique_ptr<XmlNode> root; // set when ok
    std::string text;              // the inflated XML text (NUL-terminated at its size)
    std::string message;           // what is wrong, when not ok; names the entry
    bool ok() const { return status == DocumentStatus::kOk; }
};

// Reads the entry name from the package, inflates it and parses the text.
CompressedDocument LoadCompressedDocument(std::FILE* package, const char* name);

// The framing of bytes: the size prefix and a zlib stream. Fails (with a message) for input
// larger than a reader accepts.
bool CompressDocument(const uint8_t* bytes, size_t size, std::vector<uint8_t>& framed,
                      std::string& message);

} // namespace korvane
