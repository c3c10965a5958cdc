// Taking a command's arguments from the command line by its rule.
#pragma once

#include <cstdint>
#include <vector>

#include "lib/text.h"

// The process arguments joined by single blanks; one that holds a blank is
// put in double quotes so the Tokenizer gives it back whole.
String join_arguments(int argc, char** argv);

// The arguments one command took, in rule order.
class CommandArgs {
public:
    // A rule is one letter per argument:
    //   R  required: the next token, whatever it is; empty when the line is used up;
    //   O  optional number: taken when the next token exists and does not start
    //      with "--" (an O after an O that was not taken is not looked for);
    //   N  optional name: as O, kept as text;
    //   L  file list: every following token up to the next starting with "--".
    static CommandArgs take(const char* rule, Tokenizer& tokens);

    // Argument i as given; empty when absent.
    const String& text(size_t i) const { return texts_[i]; }
    bool given(size_t i) const { return given_[i]; }
    // Argument i converted as atoi does, or fallback when it was not given.
    int32_t number(size_t i, int32_t fallback) const;
    // The file list of an L rule.
    const std::vector<String>& files() const { return files_; }

private:
    std::vector<String> texts_;
    std::vector<bool> given_;
    std::vector<String> files_;
};
