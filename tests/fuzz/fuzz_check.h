// The one assertion of the fuzz targets: a property of the parser's result that must hold
// for every input. It stops the run where the fuzzer can see it, with or without libFuzzer.
#pragma once

inline void FuzzCheck(bool condition) {
    if (!condition)
        __builtin_trap();
}
