#include "platform/lock.h"

#include <mutex>

namespace platform {

struct Lock::Impl {
    std::recursive_mutex mutex;
};

Lock::Lock() : impl_(new Impl) {}
Lock::~Lock() = default;
void Lock::acquire() { impl_->mutex.lock(); }
void Lock::release() { impl_->mutex.unlock(); }

}  // namespace platform
