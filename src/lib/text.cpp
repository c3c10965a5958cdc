#include "lib/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

String::String() : capacity_(1), length_(0), data_(new char[1]) { data_[0] = '\0'; }

String::String(const char* text) : String()
{
    if (text) assign(text, static_cast<int32_t>(std::strlen(text)));
}

String::String(const char* bytes, int32_t length) : String() { assign(bytes, length); }

String::String(int32_t number) : String()
{
    char buffer[16];
    int written = std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(number));
    assign(buffer, written);
}

String::String(const String& other) : String() { assign(other.data_, other.length_); }

String& String::operator=(const String& other)
{
    if (this != &other) assign(other.data_, other.length_);
    return *this;
}

String::~String() { delete[] data_; }

void String::assign(const char* bytes, int32_t length)
{
    char* fresh = new char[length + 1];
    if (length > 0) std::memcpy(fresh, bytes, length);
    fresh[length] = '\0';
    delete[] data_;
    data_ = fresh;
    length_ = length;
    capacity_ = length + 1;
}

String String::format(const char* fmt, ...)
{
    char buffer[4096];
    va_list args;
    va_start(args, fmt);
    int written = std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    if (written < 0) return String();
    // Longer expansions are cut to what the buffer holds.
    int32_t length = written < static_cast<int>(sizeof buffer) ? written : sizeof buffer - 1;
    return String(buffer, length);
}

String String::operator+(const char* text) const
{
    int32_t extra = text ? static_cast<int32_t>(std::strlen(text)) : 0;
    String result;
    char* joined = new char[length_ + extra + 1];
    std::memcpy(joined, data_, length_);
    if (extra > 0) std::memcpy(joined + length_, text, extra);
    joined[length_ + extra] = '\0';
    delete[] result.data_;
    result.data_ = joined;
    result.length_ = length_ + extra;
    result.capacity_ = result.length_ + 1;
    return result;
}

String String::operator+(const String& other) const
{
    String result;
    char* joined = new char[length_ + other.length_ + 1];
    std::memcpy(joined, data_, length_);
    std::memcpy(joined + length_, other.data_, other.length_);
    joined[length_ + other.length_] = '\0';
    delete[] result.data_;
    result.data_ = joined;
    result.length_ = length_ + other.length_;
    result.capacity_ = result.length_ + 1;
    return result;
}

String String::substring(int32_t start, int32_t end) const
{
    if (start < 0) start = 0;
    if (end < 0 || end > length_) end = length_;
    if (start >= length_ || start >= end) return String();
    return String(data_ + start, end - start);
}

int32_t String::find_first_of(int32_t start, const char* set) const
{
    if (!set || !*set || start < 0) return -1;
    for (int32_t i = start; i < length_; ++i)
        if (std::strchr(set, data_[i]) && data_[i] != '\0') return i;
    return -1;
}

String String::trim(const char* set) const
{
    auto in_set = [set](char c) { return c != '\0' && std::strchr(set, c) != nullptr; };
    int32_t begin = 0;
    int32_t end = length_;
    while (begin < length_ && in_set(data_[begin])) ++begin;
    while (end > begin && in_set(data_[end - 1])) --end;
    return String(data_ + begin, end - begin);
}

bool String::operator==(const char* text) const
{
    if (!text) return false;
    size_t other_length = std::strlen(text);
    return other_length == static_cast<size_t>(length_) &&
           std::memcmp(data_, text, other_length) == 0;
}

bool String::operator==(const String& other) const
{
    return length_ == other.length_ && std::memcmp(data_, other.data_, length_) == 0;
}

bool String::starts_with(const char* text, int32_t count) const
{
    return std::strncmp(data_, text, count) == 0;
}

Tokenizer::Tokenizer(const String& text, const String& separators)
    : text_(text), separators_(separators), position_(0)
{
}

String Tokenizer::next_token() { return field_at(position_); }

String Tokenizer::peek_token() const
{
    int32_t position = position_;
    return field_at(position);
}

String Tokenizer::field_at(int32_t& position) const
{
    if (position == none) return String();
    const int32_t length = text_.length();
    const int32_t p = position;
    if (p < length && text_[p] == '"') {
        int32_t q = -1;
        for (int32_t i = p + 1; i < length; ++i)
            if (text_[i] == '"') {
                q = i;
                break;
            }
        if (q < 0) {
            position = none;
            return text_.substring(p + 1, length);
        }
        position = q + 2 > length ? none : q + 2;
        return text_.substring(p + 1, q);
    }
    int32_t s = text_.find_first_of(p, separators_.c_str());
    if (s >= 0) {
        position = s + 1;
        return text_.substring(p, s);
    }
    position = none;
    return text_.substring(p, length);
}

TextFile::~TextFile()
{
    if (stream_) std::fclose(stream_);
}

String TextFile::read_line()
{
    if (!stream_) return String();
    char buffer[line_buffer_size];
    if (!std::fgets(buffer, sizeof buffer, stream_)) return String();
    // fgets stops at a line feed; a NUL byte inside the line ends the text early,
    // as it would for any C string.
    return String(buffer);
}

const char* const map_line_blanks = " \r\n\t";

void for_each_map_line(TextFile& file, const std::function<void(Tokenizer& fields)>& on_line)
{
    const String separators(";");
    for (;;) {
        String line = file.read_line().trim(map_line_blanks);
        if (line.empty()) return;
        if (line[0] == '#') continue;
        Tokenizer fields(line, separators);
        on_line(fields);
    }
}

void MapFields::next(const char*& first, const char*& last)
{
    // Tokenizer::field_at, with ';' as the only separator.
    first = last = text_ + length_;
    if (position_ == Tokenizer::none) return;
    const int32_t p = position_;
    const char* rest = text_ + p;
    const size_t rest_length = static_cast<size_t>(length_ - p);
    if (p < length_ && *rest == '"') {
        const char* quote = static_cast<const char*>(std::memchr(rest + 1, '"', rest_length - 1));
        first = rest + 1;
        if (!quote) {
            position_ = Tokenizer::none;
            return;
        }
        last = quote;
        const int32_t q = static_cast<int32_t>(quote - text_);
        position_ = q + 2 > length_ ? Tokenizer::none : q + 2;
        return;
    }
    first = rest;
    const char* separator = static_cast<const char*>(std::memchr(rest, ';', rest_length));
    if (separator) {
        last = separator;
        position_ = static_cast<int32_t>(separator - text_) + 1;
    } else {
        position_ = Tokenizer::none;
    }
}

namespace {

// The most characters fgets puts in TextFile's buffer before its terminator.
constexpr size_t longest_line = TextFile::line_buffer_size - 1;

bool is_map_line_blank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

}  // namespace

MapLineReader::MapLineReader(FILE* stream) : stream_(stream), buffer_(size_t(1) << 16) {}

void MapLineReader::read_more()
{
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    const size_t wanted = buffer_.size() - end_;
    const size_t got = std::fread(buffer_.data() + end_, 1, wanted, stream_);
    end_ += got;
    // Only a read that gives nothing: a short one may end at a read error
    // that the next read reports.
    at_end_ = got == 0;
}

bool MapLineReader::next_line(const char*& text, int32_t& length)
{
    size_t size = 0;
    for (;;) {
        const size_t available = end_ - begin_;
        const char* start = buffer_.data() + begin_;
        const size_t searched = std::min(available, longest_line);
        const char* line_feed = static_cast<const char*>(std::memchr(start, '\n', searched));
        if (line_feed) {
            size = static_cast<size_t>(line_feed - start) + 1;
            break;
        }
        if (available >= longest_line) {
            size = longest_line;
            break;
        }
        if (at_end_) {
            // fgets gives nothing at the end, and nothing for a line that a
            // read error cut short.
            if (available == 0 || std::ferror(stream_)) return false;
            size = available;
            break;
        }
        read_more();
    }
    text = buffer_.data() + begin_;
    begin_ += size;
    // The line's String ends at a NUL byte.
    const char* nul = static_cast<const char*>(std::memchr(text, '\0', size));
    length = static_cast<int32_t>(nul ? static_cast<size_t>(nul - text) : size);
    return true;
}

void MapLineReader::for_each_line(const std::function<void(MapFields& fields)>& on_line)
{
    const char* text = nullptr;
    int32_t length = 0;
    while (next_line(text, length)) {
        int32_t first = 0;
        while (first < length && is_map_line_blank(text[first])) ++first;
        while (length > first && is_map_line_blank(text[length - 1])) --length;
        if (length == first) return;
        if (text[first] == '#') continue;
        MapFields fields(text + first, length - first);
        on_line(fields);
    }
}
