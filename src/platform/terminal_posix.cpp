#include "platform/terminal.h"

#include <unistd.h>

namespace platform {

bool is_terminal(FILE* stream) { return isatty(fileno(stream)) == 1; }

}  // namespace platform
