// The program's own small text toolkit: a byte string, a field splitter, a line
// reader and an owning pointer list, plus the line loop that both map file
// readers share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/printf_check.h"

// A zero-terminated byte string that owns exactly length + 1 bytes.
class String {
public:
    String();
    String(const char* text);  // NOLINT: implicit, as for a string literal
    String(const char* bytes, int32_t length);
    explicit String(int32_t number);
    String(const String& other);
    String& operator=(const String& other);
    ~String();

    static String format(const char* fmt, ...) KD_PRINTF_LIKE(1, 2);

    const char* c_str() const { return data_; }
    int32_t length() const { return length_; }
    bool empty() const { return length_ == 0; }
    char operator[](int32_t index) const { return data_[index]; }

    String operator+(const char* text) const;
    String operator+(const String& other) const;

    String substring(int32_t start, int32_t end) const;
    int32_t find_first_of(int32_t start, const char* set) const;
    String trim(const char* set) const;

    bool operator==(const char* text) const;
    bool operator==(const String& other) const;
    bool operator!=(const char* text) const { return !(*this == text); }
    // True when the first `count` characters equal those of `text`.
    bool starts_with(const char* text, int32_t count) const;

private:
    void assign(const char* bytes, int32_t length);

    int32_t capacity_;
    int32_t length_;
    char* data_;
};

// Splits a text into fields at any of a set of separator characters; a field
// that begins with a double quote runs to the next double quote.
class Tokenizer {
public:
    static constexpr int32_t none = -1;

    Tokenizer(const String& text, const String& separators);

    String next_token();
    String peek_token() const;
    int32_t position() const { return position_; }
    bool exhausted() const { return position_ == none; }

private:
    String field_at(int32_t& position) const;

    String text_;
    String separators_;
    int32_t position_;
};

// Owns an open file stream and reads it line by line.
class TextFile {
public:
    static constexpr int32_t line_buffer_size = 16384;

    explicit TextFile(FILE* stream) : stream_(stream) {}
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool is_open() const { return stream_ != nullptr; }
    // At most line_buffer_size - 1 characters, the line feed included when it
    // fits; the empty String at end of file or on a read error.
    String read_line();

private:
    FILE* stream_;
};

// A growable list of owned (or borrowed) object pointers, 16 slots to start,
// doubling when full.
template <typename T>
class PtrList {
public:
    static constexpr int32_t initial_capacity = 16;

    explicit PtrList(bool owns = true)
        : capacity_(initial_capacity), owns_(owns), count_(0), items_(new T*[initial_capacity])
    {
    }
    ~PtrList()
    {
        clear();
        delete[] items_;
    }
    PtrList(const PtrList&) = delete;
    PtrList& operator=(const PtrList&) = delete;

    void add(T* item)
    {
        if (count_ == capacity_) {
            T** grown = new T*[capacity_ * 2];
            for (int32_t i = 0; i < count_; ++i) grown[i] = items_[i];
            delete[] items_;
            items_ = grown;
            capacity_ *= 2;
        }
        items_[count_++] = item;
    }
    void clear()
    {
        if (owns_)
            for (int32_t i = 0; i < count_; ++i) delete items_[i];
        count_ = 0;
    }
    int32_t count() const { return count_; }
    int32_t capacity() const { return capacity_; }
    T* at(int32_t index) const { return items_[index]; }

private:
    int32_t capacity_;
    bool owns_;
    int32_t count_;
    T** items_;
};

// The characters trimmed from both ends of every map file line.
extern const char* const map_line_blanks;

// Reads the lines of a map file: each line is trimmed, the first empty line
// (or the end of the file) ends the reading, lines starting with '#' are
// skipped, and every other line is handed over split at ';'.
void for_each_map_line(TextFile& file, const std::function<void(Tokenizer& fields)>& on_line);

// A map file line's fields as a Tokenizer with the separator ';' gives them,
// taken from the line where it lies instead of copied.
class MapFields {
public:
    MapFields(const char* text, int32_t length) : text_(text), length_(length) {}

    // The next field, [first, last); empty once exhausted.
    void next(const char*& first, const char*& last);
    bool exhausted() const { return position_ == Tokenizer::none; }

private:
    const char* text_;
    int32_t length_;
    int32_t position_ = 0;
};

// As for_each_map_line on the stream, for files of many lines: the lines are
// those TextFile::read_line gives, found in large pieces read at once, and
// each line's fields are handed over in place. The stream stays open.
class MapLineReader {
public:
    explicit MapLineReader(FILE* stream);

    void for_each_line(const std::function<void(MapFields& fields)>& on_line);

private:
    // The next line as read_line would give it; false where it gives none.
    bool next_line(const char*& text, int32_t& length);
    // Keeps the unread bytes and reads more after them.
    void read_more();

    FILE* stream_;
    std::vector<char> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool at_end_ = false;
};
