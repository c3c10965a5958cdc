#include "platform/workers.h"

#include <pthread.h>
#include <unistd.h>

#include <vector>

namespace platform {

namespace {

struct PartStart {
    const std::function<void(int32_t)>* part;
    int32_t index;
};

void* run_part(void* start)
{
    const PartStart* s = static_cast<const PartStart*>(start);
    (*s->part)(s->index);
    return nullptr;
}

}  // namespace

int32_t processor_count()
{
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 1 ? static_cast<int32_t>(count) : 1;
}

void run_parts(int32_t count, const std::function<void(int32_t part)>& part)
{
    const size_t others = count > 1 ? static_cast<size_t>(count - 1) : 0;
    std::vector<PartStart> starts(others);
    std::vector<pthread_t> threads(others);
    std::vector<bool> started(others, false);
    for (size_t i = 0; i < others; ++i) {
        starts[i] = PartStart{&part, static_cast<int32_t>(i + 1)};
        started[i] = pthread_create(&threads[i], nullptr, run_part, &starts[i]) == 0;
    }
    if (count > 0) part(0);
    for (size_t i = 0; i < others; ++i) {
        if (started[i])
            pthread_join(threads[i], nullptr);
        else
            part(starts[i].index);
    }
}

}  // namespace platform
