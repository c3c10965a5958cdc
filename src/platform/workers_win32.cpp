#include "platform/workers.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

struct PartStart {
    const std::function<void(int32_t)>* part;
    int32_t index;
};

DWORD WINAPI run_part(LPVOID start)
{
    const PartStart* s = static_cast<const PartStart*>(start);
    (*s->part)(s->index);
    return 0;
}

}  // namespace

int32_t processor_count()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 1 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
}

void run_parts(int32_t count, const std::function<void(int32_t part)>& part)
{
    const size_t others = count > 1 ? static_cast<size_t>(count - 1) : 0;
    std::vector<PartStart> starts(others);
    std::vector<HANDLE> threads(others, nullptr);
    for (size_t i = 0; i < others; ++i) {
        starts[i] = PartStart{&part, static_cast<int32_t>(i + 1)};
        threads[i] = CreateThread(nullptr, 0, run_part, &starts[i], 0, nullptr);
    }
    if (count > 0) part(0);
    for (size_t i = 0; i < others; ++i) {
        if (threads[i]) {
            WaitForSingleObject(threads[i], INFINITE);
            CloseHandle(threads[i]);
        } else {
            part(starts[i].index);
        }
    }
}

}  // namespace platform
