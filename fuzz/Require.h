#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run when a property does not hold; libFuzzer keeps the input as a finding.
inline void require(bool holds, const char* property)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}
