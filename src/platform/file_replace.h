// Putting a finished file in place of another in one step, keeping what an
// overwrite in place would keep.
#pragma once

#include <string>

namespace platform {

// Renames `from` to `to`, replacing an existing `to`. False when it could not.
bool replace_file(const char* from, const char* to);

// The file that writing to `path` would change: symbolic links are followed
// (also one that points to no file yet); any other path is given back as it is.
std::string written_file(const char* path);

// True when the file system marks `path` as not to be written, whoever asks
// (the read-only attribute on Windows, which even an administrator's program
// must respect); permissions that depend on the user are not looked at here.
bool marked_read_only(const char* path);

// Gives `replacement` the permission bits (and, where allowed, the owner) of
// `existing`, as the file would keep them if it were overwritten in place.
void keep_file_mode(const char* existing, const char* replacement);

}  // namespace platform
