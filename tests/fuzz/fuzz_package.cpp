// Fuzz target for the package reader: any bytes, read as a package stream, give lookups that
// either find bytes lying inside the file, find nothing, or report damage; never a read past
// the end or an allocation beyond the file's size.
#include "data/package.h"
#include "fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korvane;
    if (size == 0)
        return 0; // fmemopen wants at least one byte
    std::vector<uint8_t> bytes(data, data + size);
    std::FILE* package = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!package)
        return 0;

    std::vector<PackageEntry> entries;
    PackageResult index = ReadPackageIndex(package, entries);
    FuzzCheck(index.ok() || index.status == PackageStatus::kDamaged);
    FuzzCheck(entries.size() <= size / kPackageRecordSize);

    std::vector<std::string> names = {"demo.xmlz", "loading.xmlz", "", std::string(40, 'a')};
    for (size_t i = 0; i < entries.size() && i < 8; ++i)
        names.push_back(entries[i].name);
    for (const auto& name : names) {
        PackageEntryResult entry = ReadPackageEntry(package, name.c_str());
        FuzzCheck(entry.found() || entry.bytes.empty());
        FuzzCheck(entry.bytes.size() <= size);
        if (entry.found())
            FuzzCheck(entry.message.empty());
        else
            FuzzCheck(!entry.message.empty());
        ReadPackageEntryAsKtx(package, name.c_str());
    }

    PackageFileList list;
    ListPackageEntries(package, list);
    FuzzCheck(list.size() == entries.size());
    std::fclose(package);
    return 0;
}
