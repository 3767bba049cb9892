// What the fuzz targets share: the entry point every target defines, and a check that
// ends the run, so that libFuzzer and the replay driver both report the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// A property of the code under test that the input broke.
#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);      \
            std::abort();                                                                           \
        }                                                                                           \
    } while (false)
