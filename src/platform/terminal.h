// Whether a stream goes to a person's terminal rather than to a file or pipe.
#pragma once

#include <cstdio>

namespace platform {

bool is_terminal(FILE* stream);

}  // namespace platform
