#include "platform/library.h"

#include <windows.h>

#include <cstring>

namespace platform {

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path)
{
    HMODULE handle = LoadLibraryA(path.c_str());
    if (!handle) return nullptr;
    return std::unique_ptr<SharedLibrary>(new SharedLibrary(handle));
}

SharedLibrary::~SharedLibrary() = default;

void* SharedLibrary::symbol(const char* name) const
{
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
    void* result;
    static_assert(sizeof(result) == sizeof(address), "function pointer size");
    std::memcpy(&result, &address, sizeof(result));
    return result;
}

const char* shared_library_suffix() { return ".dll"; }

}  // namespace platform
