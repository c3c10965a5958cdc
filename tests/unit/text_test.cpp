#include "lib/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::string> all_fields(const char* text, const char* separators)
{
    Tokenizer tokens{String(text), String(separators)};
    std::vector<std::string> fields;
    do {
        fields.push_back(tokens.next_token().c_str());
    } while (!tokens.exhausted());
    return fields;
}

}  // namespace

TEST(String, EmptyOwnsTerminator)
{
    String s;
    EXPECT_EQ(0, s.length());
    EXPECT_STREQ("", s.c_str());
}

TEST(String, CopiesAreDeep)
{
    String a("abc");
    String b(a);
    b = b + "d";
    EXPECT_STREQ("abc", a.c_str());
    EXPECT_STREQ("abcd", b.c_str());
    a = a;
    EXPECT_STREQ("abc", a.c_str());
}

TEST(String, FromInteger)
{
    EXPECT_STREQ("-42", String(-42).c_str());
    EXPECT_STREQ("0", String(0).c_str());
    EXPECT_STREQ("2147483647", String(2147483647).c_str());
}

TEST(String, ConcatenationLengths)
{
    String joined = String("ab") + String("cde");
    EXPECT_EQ(5, joined.length());
    EXPECT_STREQ("abcde", joined.c_str());
}

TEST(String, FormatIsCutAt4095Characters)
{
    std::string long_text(5000, 'x');
    String s = String::format("%s", long_text.c_str());
    EXPECT_EQ(4095, s.length());
    EXPECT_STREQ("7; 8;", String::format("%d; %d;", 7, 8).c_str());
}

struct SubstringCase {
    int32_t start;
    int32_t end;
    const char* expected;
};

class SubstringTest : public ::testing::TestWithParam<SubstringCase> {};

TEST_P(SubstringTest, OfFiveCharacters)
{
    const SubstringCase& c = GetParam();
    EXPECT_STREQ(c.expected, String("abcde").substring(c.start, c.end).c_str());
}

INSTANTIATE_TEST_SUITE_P(Bounds, SubstringTest,
                         ::testing::Values(SubstringCase{2, -1, "cde"}, SubstringCase{-3, 2, "ab"},
                                           SubstringCase{1, 99, "bcde"}, SubstringCase{5, 9, ""},
                                           SubstringCase{3, 3, ""}, SubstringCase{4, 2, ""},
                                           SubstringCase{0, 5, "abcde"}));

TEST(String, FindFirstOf)
{
    String s("a;b,c");
    EXPECT_EQ(1, s.find_first_of(0, ",;"));
    EXPECT_EQ(3, s.find_first_of(2, ",;"));
    EXPECT_EQ(-1, s.find_first_of(4, ",;"));
    EXPECT_EQ(-1, s.find_first_of(0, ""));
    EXPECT_EQ(-1, s.find_first_of(9, ";"));
}

TEST(String, Trim)
{
    EXPECT_STREQ("a b", String(" \ta b\r\n").trim(map_line_blanks).c_str());
    EXPECT_STREQ("", String(" \r\n\t ").trim(map_line_blanks).c_str());
    EXPECT_STREQ("", String("").trim(map_line_blanks).c_str());
}

TEST(String, ComparesBytewiseAndByPrefix)
{
    EXPECT_TRUE(String("--if") == "--if");
    EXPECT_FALSE(String("--If") == "--if");
    EXPECT_FALSE(String("--if") == "--if ");
    EXPECT_TRUE(String("--x").starts_with("--", 2));
    EXPECT_FALSE(String("-x").starts_with("--", 2));
    EXPECT_FALSE(String("").starts_with("--", 2));
}

TEST(String, EqualityCountsEmbeddedZeroBytes)
{
    const String with_zero("\0", 1);
    EXPECT_FALSE(with_zero == String());
    EXPECT_TRUE(with_zero == String("\0", 1));
    EXPECT_FALSE(String("ab") == String("abc"));
}

struct SplitCase {
    const char* text;
    const char* separators;
    std::vector<std::string> fields;
};

class TokenizerSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(TokenizerSplit, Fields)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(c.fields, all_fields(c.text, c.separators));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TokenizerSplit,
    ::testing::Values(
        SplitCase{"1;2;3", ";", {"1", "2", "3"}}, SplitCase{"1;;3", ";", {"1", "", "3"}},
        SplitCase{"1;2;", ";", {"1", "2", ""}}, SplitCase{"", " ", {""}},
        SplitCase{"a \"b c\" d", " ", {"a", "b c", "d"}}, SplitCase{"a \"b c\"", " ", {"a", "b c"}},
        SplitCase{"\"\" x", " ", {"", "x"}}, SplitCase{"\"open ended", " ", {"open ended"}},
        SplitCase{"a  b", " ", {"a", "", "b"}},
        // The character after a closing quote is skipped unexamined.
        SplitCase{"\"q\"xy z", " ", {"q", "y", "z"}}));

TEST(Tokenizer, QuotedFieldAtEndExhausts)
{
    Tokenizer tokens{String("a \"b c\""), String(" ")};
    tokens.next_token();
    EXPECT_STREQ("b c", tokens.next_token().c_str());
    EXPECT_TRUE(tokens.exhausted());
    EXPECT_STREQ("", tokens.next_token().c_str());
    EXPECT_TRUE(tokens.exhausted());
}

TEST(Tokenizer, PeekDoesNotAdvance)
{
    Tokenizer tokens{String("one two"), String(" ")};
    EXPECT_STREQ("one", tokens.peek_token().c_str());
    EXPECT_STREQ("one", tokens.peek_token().c_str());
    EXPECT_STREQ("one", tokens.next_token().c_str());
    EXPECT_STREQ("two", tokens.peek_token().c_str());
    EXPECT_EQ(4, tokens.position());
}

TEST(PtrList, GrowsByDoublingAndKeepsOrder)
{
    PtrList<String> list;
    for (int32_t i = 0; i < 17; ++i) list.add(new String(i));
    EXPECT_EQ(32, list.capacity());
    EXPECT_EQ(17, list.count());
    for (int32_t i = 0; i < 17; ++i) EXPECT_TRUE(*list.at(i) == String(i)) << i;
    list.clear();
    EXPECT_EQ(0, list.count());
    EXPECT_EQ(32, list.capacity());
}

class MapLineLoop : public ::testing::Test {
protected:
    std::vector<std::vector<std::string>> read(const std::string& content, int fields_per_line)
    {
        FILE* f = std::tmpfile();
        std::fwrite(content.data(), 1, content.size(), f);
        std::rewind(f);
        TextFile file(f);
        std::vector<std::vector<std::string>> lines;
        for_each_map_line(file, [&](Tokenizer& fields) {
            std::vector<std::string> line;
            for (int i = 0; i < fields_per_line; ++i) line.push_back(fields.next_token().c_str());
            lines.push_back(line);
        });
        return lines;
    }
};

TEST_F(MapLineLoop, SkipsCommentsAndStopsAtBlankLine)
{
    auto lines = read("# header\r\n  #indented\n1;2;3\r\n4;;6\n \t\n7;8;9\n", 4);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ((std::vector<std::string>{"1", "2", "3", ""}), lines[0]);
    EXPECT_EQ((std::vector<std::string>{"4", "", "6", ""}), lines[1]);
}

TEST_F(MapLineLoop, HashLaterInLineIsOrdinary)
{
    auto lines = read("1#;2\n", 2);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ((std::vector<std::string>{"1#", "2"}), lines[0]);
}

TEST_F(MapLineLoop, CrLfAndLfGiveSameFields)
{
    EXPECT_EQ(read("1;2\r\n3;4\r\n", 2), read("1;2\n3;4\n", 2));
}

TEST_F(MapLineLoop, LastLineWithoutNewline)
{
    auto lines = read("5;6", 2);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ((std::vector<std::string>{"5", "6"}), lines[0]);
}

// The in-place reader against the line loop: the same lines, the same fields.
class InPlaceMapLines : public ::testing::TestWithParam<std::string> {
protected:
    static FILE* file_of(const std::string& content)
    {
        FILE* f = std::tmpfile();
        std::fwrite(content.data(), 1, content.size(), f);
        std::rewind(f);
        return f;
    }

    // Every line's first `fields_per_line` fields.
    static std::vector<std::vector<std::string>> by_line_loop(const std::string& content,
                                                              int fields_per_line)
    {
        TextFile file(file_of(content));
        std::vector<std::vector<std::string>> lines;
        for_each_map_line(file, [&](Tokenizer& fields) {
            std::vector<std::string> line;
            for (int i = 0; i < fields_per_line; ++i) line.push_back(fields.next_token().c_str());
            line.push_back(fields.exhausted() ? "exhausted" : "more");
            lines.push_back(line);
        });
        return lines;
    }

    static std::vector<std::vector<std::string>> in_place(const std::string& content,
                                                          int fields_per_line)
    {
        FILE* f = file_of(content);
        std::vector<std::vector<std::string>> lines;
        MapLineReader(f).for_each_line([&](MapFields& fields) {
            std::vector<std::string> line;
            for (int i = 0; i < fields_per_line; ++i) {
                const char* first;
                const char* last;
                fields.next(first, last);
                line.emplace_back(first, last);
            }
            line.push_back(fields.exhausted() ? "exhausted" : "more");
            lines.push_back(line);
        });
        std::fclose(f);
        return lines;
    }
};

TEST_P(InPlaceMapLines, SameLinesAndFieldsAsTheLineLoop)
{
    for (int fields = 1; fields <= 4; ++fields)
        EXPECT_EQ(in_place(GetParam(), fields), by_line_loop(GetParam(), fields)) << fields;
}

std::string many_lines(int count, const char* end)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::to_string(i * 7919) + ";" + std::to_string(i) + ";0" + end;
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Files, InPlaceMapLines,
    ::testing::Values("", "\n", "1;2;3", "# header\r\n  #indented\n1;2;3\r\n4;;6\n \t\n7;8;9\n",
                      "1#;2\n", "\"12\";34;0\n\"5\";\"6\";\"4\"\n\"open;x\n\"q\"xy;z\n\"\"\n",
                      "1;2;\n;;\n;\n\"a\"\n\"a\";\n", " \t 10;20;1 \t\r\n\r1;2\r\n",
                      std::string("1;2\0;3\n4;\0\n\0\n5;6\n", 17),
                      std::string(20000, 'a') + ";1;2\n3;4\n", std::string(16383, 'b') + "\n;5;6\n",
                      std::string(16382, 'c') + "\r\n7\n", std::string(70000, ';') + "\n8;9\n",
                      many_lines(20000, "\r\n"),
                      many_lines(9000, "\n") + "\n" + many_lines(10, "\n"),
                      many_lines(5000, "\n") + "5;5"));

TEST(TextFile, LongLineComesInPieces)
{
    FILE* f = std::tmpfile();
    std::string line(20000, 'a');
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), f);
    std::rewind(f);
    TextFile file(f);
    EXPECT_EQ(16383, file.read_line().length());
    EXPECT_EQ(20001 - 16383, file.read_line().length());
    EXPECT_EQ(0, file.read_line().length());
}
