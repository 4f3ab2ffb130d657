#pragma once

#include <cstdio>
#include <cstdlib>

// A property of a parser's output that must hold for every input: a broken one ends the run as a
// crash, so the fuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition)                                                                 \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (false)
