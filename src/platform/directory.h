// Listing the files of a directory, and making one.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The names (without the directory) of the entries of `directory`, in the
// order the system gives them, "." and ".." left out. False when the directory
// cannot be read.
bool list_directory(const std::string& directory, std::vector<std::string>& names);

// Makes the directory and any missing parents. True when it exists afterwards.
bool make_directories(const std::string& directory);

// The character that joins a directory and a file name ('\\' on Windows, '/').
char path_separator();

// True for a character that ends a directory name (Windows takes '/' as well).
bool is_path_separator(char c);

}  // namespace platform
