#include "commands/arguments.h"

#include <cstdlib>
#include <cstring>

namespace {

bool next_is_argument(const Tokenizer& tokens)
{
    return !tokens.exhausted() && !tokens.peek_token().starts_with("--", 2);
}

}  // namespace

String join_arguments(int argc, char** argv)
{
    String line;
    for (int i = 1; i < argc; ++i) {
        String argument(argv[i]);
        if (std::strchr(argv[i], ' ')) argument = String("\"") + argument + "\"";
        line = line.empty() ? argument : line + " " + argument;
    }
    return line;
}

CommandArgs CommandArgs::take(const char* rule, Tokenizer& tokens)
{
    CommandArgs args;
    bool optional_missing = false;
    for (const char* letter = rule; *letter; ++letter) {
        String text;
        bool given = false;
        switch (*letter) {
        case 'R':
            text = tokens.next_token();
            given = true;
            break;
        case 'O':
        case 'N':
            if (!optional_missing && next_is_argument(tokens)) {
                text = tokens.next_token();
                given = true;
            }
            optional_missing = !given;
            break;
        case 'L':
            while (next_is_argument(tokens)) args.files_.push_back(tokens.next_token());
            break;
        }
        args.texts_.push_back(text);
        args.given_.push_back(given);
    }
    return args;
}

int32_t CommandArgs::number(size_t i, int32_t fallback) const
{
    if (!given_[i]) return fallback;
    return static_cast<int32_t>(std::atoi(texts_[i].c_str()));
}
