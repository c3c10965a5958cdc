// The Tokenizer on arbitrary command lines and map lines.
#include <cstddef>
#include <cstdint>

#include "lib/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16) return 0;
    const String text(reinterpret_cast<const char*>(data), static_cast<int32_t>(size));
    for (const char* separators : {" ", ";"}) {
        Tokenizer tokens(text, String(separators));
        // Every step either consumes input or ends the text.
        for (int32_t steps = 0; !tokens.exhausted(); ++steps) {
            const int32_t before = tokens.position();
            const String peeked = tokens.peek_token();
            const String taken = tokens.next_token();
            if (!(peeked == taken)) __builtin_trap();
            if (!tokens.exhausted() && tokens.position() <= before) __builtin_trap();
            if (steps > text.length() + 1) __builtin_trap();
        }
        (void)text.trim(map_line_blanks);
    }
    return 0;
}
