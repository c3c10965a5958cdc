// A recursive lock (a critical section on Windows).
#pragma once

#include <memory>

namespace platform {

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void acquire();
    void release();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Holds a Lock for the life of the guard.
class LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.acquire(); }
    ~LockGuard() { lock_.release(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

}  // namespace platform
