# Options shared by every target of ours. The system defines its numbers step by step in
# single and double precision, so the compiler may not fuse multiply-adds or reassociate.
function(korvane_target_options target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -ffp-contract=off)
    target_compile_features(${target} PUBLIC cxx_std_17)
endfunction()

# Sanitizer flags for the asan flavour of the engine and its unit tests.
set(KORVANE_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
