// The shared cosine table: 8192 floats, two full turns of 4096 steps, read by the texture
// filters, the dynamic meshes and the 2D image effects instead of calling cos per pixel.
#pragma once

#include <array>

namespace korvane {

constexpr int kCosineTableSize = 8192;
constexpr int kCosineStepsPerTurn = 4096;

using CosineTable = std::array<float, kCosineTableSize>;

// Fills the table; the player does it once at start-up, before anything reads it.
void BuildCosineTable();

// The program's one table (all zeros until BuildCosineTable has run).
const CosineTable& GetCosineTable();

} // namespace korvane
