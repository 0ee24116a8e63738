// korpack compress and decompress: the framing of documents and mesh files, a 4-byte
// little-endian size followed by a zlib stream.
#include "command.h"

#include "data/compressed_document.h"

namespace korvane::korpack {
namespace {

int WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes) {
    PackageResult result = WriteFileReplacing(path, bytes.data(), bytes.size());
    if (!result.ok())
        return FailMessage(result.message);
    return kSuccess;
}

int RunCompress(const Arguments& arguments) {
    std::vector<uint8_t> input;
    if (!ReadInputFile(arguments[0], input))
        return kFailure;
    std::vector<uint8_t> framed;
    std::string message;
    if (!CompressDocument(input.data(), input.size(), framed, message))
        return Fail(arguments[0], message);
    return WriteOutput(arguments[1], framed);
}

int RunDecompress(const Arguments& arguments) {
    std::vector<uint8_t> input;
    if (!ReadInputFile(arguments[0], input))
        return kFailure;
    InflatedEntry inflated = InflateEntry(input.data(), input.size());
    if (!inflated.ok())
        return Fail(arguments[0], inflated.message);
    return WriteOutput(arguments[1], inflated.bytes);
}

} // namespace

extern const CommandSpec kCompressCommand = {
    "compress",
    "IN OUT",
    "write IN in the compressed framing to OUT",
    "OUT holds the size of IN as 4 little-endian bytes, then IN as a zlib stream: the form of\n"
    "the .xmlz documents and of mesh files.\n",
    2,
    2,
    RunCompress,
};

extern const CommandSpec kDecompressCommand = {
    "decompress",
    "IN OUT",
    "write the bytes framed in IN to OUT",
    "The reverse of 'compress'. A stream that is damaged or does not hold exactly the size\n"
    "its prefix announces is an error.\n",
    2,
    2,
    RunDecompress,
};

} // namespace korvane::korpack
