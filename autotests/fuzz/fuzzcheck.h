// SPDX-License-Identifier: GPL-2.0-or-later
// What the fuzz targets share: a failed property ends the run with a report
// that libFuzzer keeps as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                                                                  \
    do {                                                                                                                                                       \
        if (!(condition)) {                                                                                                                                    \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);                                                              \
            std::abort();                                                                                                                                      \
        }                                                                                                                                                      \
    } while (false)
