// Putting a finished file in place of another in one step.
#pragma once

namespace platform {

// Renames `from` to `to`, replacing an existing `to`. False when it could not.
bool replace_file(const char* from, const char* to);

}  // namespace platform
