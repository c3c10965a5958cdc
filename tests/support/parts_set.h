// The number of parts the large passes split into, set for one scope, so
// that the one-part and two-part paths are both tested on any machine.
#pragma once

#include <cstdint>

#include "lib/parallel.h"

class PartsSet {
public:
    explicit PartsSet(int32_t parts) : replaced_(set_parallel_parts(parts)) {}
    ~PartsSet() { set_parallel_parts(replaced_); }
    PartsSet(const PartsSet&) = delete;
    PartsSet& operator=(const PartsSet&) = delete;

private:
    int32_t replaced_;
};
