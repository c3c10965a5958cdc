#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

namespace platform {

bool is_terminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

}  // namespace platform
