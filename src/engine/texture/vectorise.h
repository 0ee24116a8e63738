// How the per-pixel loops of the texture generators and filters are built: the markers that
// let the compiler vectorise them and pick the widest instruction set at run time.
#pragma once

// The hot loops are written so that the compiler vectorises them, and built three times on
// x86-64: for the baseline, for AVX2 and for AVX-512 (x86-64-v4), picked at run time.
// -ffp-contract=off keeps the wider builds from fusing multiply-adds, so all three give the
// same bytes.
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define KORVANE_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define KORVANE_VECTOR_CLONES
#endif
#if defined(__GNUC__) && !defined(__clang__)
#define KORVANE_VECTORISE __attribute__((optimize("tree-vectorize", "vect-cost-model=dynamic")))
#else
#define KORVANE_VECTORISE
#endif
#define KORVANE_HOT KORVANE_VECTOR_CLONES KORVANE_VECTORISE
