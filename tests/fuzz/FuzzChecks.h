// Checks shared by the fuzz targets: a failed expectation stops the run as a finding.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_EXPECT(condition)                                                                 \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "%s:%d: expectation failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                            \
    }                                                                                          \
  } while (0)
