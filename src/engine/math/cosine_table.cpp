#include "math/cosine_table.h"

#include <cmath>

namespace korvane {

namespace {
CosineTable cosine_table{};
}

void BuildCosineTable() {
    // The angle is formed in double precision from the entry number as a float, and the
    // result narrowed to float: the tables of later stages depend on these exact values.
    for (int i = 0; i < kCosineTableSize; ++i) {
        double x = static_cast<double>(static_cast<float>(i)) * 3.14159265 / 2048.0;
        cosine_table[i] = static_cast<float>(std::cos(x));
    }
}

const CosineTable& GetCosineTable() {
    return cosine_table;
}

} // namespace korvane
