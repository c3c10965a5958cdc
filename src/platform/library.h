// A shared library loaded at run time (GenTL producers, serial libraries).
#pragma once

#include <cstring>
#include <memory>
#include <string>

namespace platform {

// A loaded library is never unloaded: a GenTL producer may run threads of its
// own (GigE Vision heartbeats) that would crash in unmapped code, and
// function pointers taken from it may outlive this object. The process end
// releases it.
class SharedLibrary {
public:
    // Loads the library now, resolving all its symbols; null when it cannot
    // be loaded, with the system's reason in `reason` when one is given.
    static std::unique_ptr<SharedLibrary> open(const std::string& path,
                                               std::string* reason = nullptr);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // The address of an exported name, or null.
    void* symbol(const char* name) const;

    // The function pointer type F for an exported name, or null. Function
    // pointers and object pointers differ in the language; the one cast lives here.
    template <typename F>
    F function(const char* name) const
    {
        void* address = symbol(name);
        F result;
        static_assert(sizeof(result) == sizeof(address), "function pointer size");
        std::memcpy(&result, &address, sizeof(result));
        return result;
    }

private:
    explicit SharedLibrary(void* handle) : handle_(handle) {}
    void* handle_;
};

// The file ending of shared libraries on this platform (".dll", ".so").
const char* shared_library_suffix();

}  // namespace platform
