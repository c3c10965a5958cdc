#include "platform/library.h"

#include <dlfcn.h>
#include <unistd.h>

namespace platform {

namespace {

// A bare file name is looked for in the current directory first, as Windows
// does; dlopen alone would search only the system's library folders.
std::string search_path(const std::string& path)
{
    if (path.find('/') == std::string::npos && access(path.c_str(), F_OK) == 0) return "./" + path;
    return path;
}

}  // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, std::string* reason)
{
    // dlopen would hand back the program itself for the empty name.
    if (path.empty()) {
        if (reason) *reason = "no file name";
        return nullptr;
    }
    void* handle = dlopen(search_path(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        if (reason) *reason = text ? text : "unknown reason";
        return nullptr;
    }
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary() = default;

void* SharedLibrary::symbol(const char* name) const { return dlsym(handle_, name); }

const char* shared_library_suffix() { return ".so"; }

}  // namespace platform
