#include "platform/library.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace platform {

namespace {

// "error 126: The specified module could not be found."
std::string system_message(DWORD error)
{
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text - 1, nullptr);
    std::string message(text, length);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return "error " + std::to_string(static_cast<unsigned long>(error)) +
           (message.empty() ? std::string() : ": " + message);
}

}  // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, std::string* reason)
{
    HMODULE handle = LoadLibraryA(path.c_str());
    if (!handle) {
        const DWORD error = GetLastError();
        if (reason) *reason = system_message(error);
        return nullptr;
    }
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
