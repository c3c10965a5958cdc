#include "platform/lock.h"

#include <windows.h>

namespace platform {

struct Lock::Impl {
    CRITICAL_SECTION section;
};

Lock::Lock() : impl_(new Impl) { InitializeCriticalSection(&impl_->section); }
Lock::~Lock() { DeleteCriticalSection(&impl_->section); }
void Lock::acquire() { EnterCriticalSection(&impl_->section); }
void Lock::release() { LeaveCriticalSection(&impl_->section); }

}  // namespace platform
