// Runs a fuzz target without libFuzzer: every file of the corpus folders as it is, then a
// fixed number of deterministic mutations of them (bit flips, byte changes, cuts, splices
// and repeats), so that the test run exercises the parser on damaged input under the
// sanitizers and gives the same inputs on every machine.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

struct Random {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 16);
    }
    size_t Below(size_t n) { return n == 0 ? 0 : Next() % n; }
};

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Mutate(std::vector<uint8_t> input, const std::vector<uint8_t>& other,
                            Random& random) {
    int steps = 1 + static_cast<int>(random.Below(4));
    for (int i = 0; i < steps; ++i) {
        switch (random.Below(6)) {
        case 0: // flip one bit
            if (!input.empty())
                input[random.Below(input.size())] ^= static_cast<uint8_t>(1u << random.Below(8));
            break;
        case 1: // set one byte to an interesting value
            if (!input.empty()) {
                static const uint8_t values[] = {0, 1, 0x7f, 0x80, 0xff, '<', '>', '"', '/', '='};
                input[random.Below(input.size())] = values[random.Below(sizeof values)];
            }
            break;
        case 2: // cut the tail
            input.resize(random.Below(input.size() + 1));
            break;
        case 3: // erase a range
            if (!input.empty()) {
                size_t at = random.Below(input.size());
                size_t n = 1 + random.Below(std::min<size_t>(64, input.size() - at));
                input.erase(input.begin() + at, input.begin() + at + n);
            }
            break;
        case 4: // splice a piece of another input in
            if (!other.empty()) {
                size_t from = random.Below(other.size());
                size_t n = 1 + random.Below(std::min<size_t>(256, other.size() - from));
                size_t at = random.Below(input.size() + 1);
                input.insert(input.begin() + at, other.begin() + from, other.begin() + from + n);
            }
            break;
        default: // repeat a range
            if (!input.empty() && input.size() < (1u << 20)) {
                size_t at = random.Below(input.size());
                size_t n = 1 + random.Below(std::min<size_t>(32, input.size() - at));
                std::vector<uint8_t> piece(input.begin() + at, input.begin() + at + n);
                for (size_t r = random.Below(8); r > 0; --r)
                    input.insert(input.begin() + at, piece.begin(), piece.end());
            }
            break;
        }
    }
    return input;
}

} // namespace

int main(int argc, char** argv) {
    long mutations = 0;
    std::vector<std::vector<uint8_t>> corpus;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mutations") == 0 && i + 1 < argc) {
            mutations = std::atol(argv[++i]);
            continue;
        }
        std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            // Sorted, so that every machine mutates the same inputs in the same order.
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const auto& file : files)
                corpus.push_back(ReadFile(file));
        } else if (std::filesystem::exists(path)) {
            corpus.push_back(ReadFile(path));
        } else {
            std::fprintf(stderr, "replay: %s: no such file or folder\n", argv[i]);
            return 2;
        }
    }
    if (corpus.empty())
        corpus.emplace_back();
    for (const auto& input : corpus)
        LLVMFuzzerTestOneInput(input.data(), input.size());
    Random random;
    for (long i = 0; i < mutations; ++i) {
        const auto& base = corpus[random.Below(corpus.size())];
        const auto& other = corpus[random.Below(corpus.size())];
        auto input = Mutate(base, other, random);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("replayed %zu corpus inputs and %ld mutations\n", corpus.size(), mutations);
    return 0;
}
