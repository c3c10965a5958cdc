#include "lib/zero_skip.h"

#include <cstring>

size_t next_nonzero(const uint8_t* bytes, size_t from, size_t end)
{
    size_t x = from;
    for (; x + 32 <= end; x += 32) {
        uint64_t words[4];
        std::memcpy(words, bytes + x, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) != 0) break;
    }
    while (x < end && bytes[x] == 0) ++x;
    return x;
}
