// Looking up the last entry of a 4000-entry package: every lookup scans the index from
// its start, so this is the slowest name a production can ask for. The bar is 2 ms.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "data/package.h"

namespace {

struct BigPackage {
    std::string path;
    std::FILE* file = nullptr;
    BigPackage() {
        char name[] = "/tmp/korvane-bench-XXXXXX";
        int fd = mkstemp(name);
        close(fd);
        path = std::string(name) + ".dpk";
        korvane::PackageFileList list;
        for (int i = 0; i < 4000; ++i) {
            auto& node = korvane::AppendPackageFile(list, "entry" + std::to_string(i) + ".png",
                                                    std::nullopt);
            node.contents = std::vector<uint8_t>(64, static_cast<uint8_t>(i));
        }
        korvane::WritePackage(list, path, nullptr);
        std::remove(name);
        file = std::fopen(path.c_str(), "rb");
    }
    ~BigPackage() {
        std::fclose(file);
        std::remove(path.c_str());
    }
};

void BM_ReadPackageEntryLastOf4000(benchmark::State& state) {
    static BigPackage package;
    for (auto _ : state) {
        auto entry = korvane::ReadPackageEntry(package.file, "entry3999.png");
        benchmark::DoNotOptimize(entry.bytes.data());
        if (!entry.found())
            state.SkipWithError("entry not found");
    }
}
BENCHMARK(BM_ReadPackageEntryLastOf4000)->Unit(benchmark::kMicrosecond);

} // namespace
