#include "gentl_info.h"

#include <cstring>

using namespace gentl;

namespace camsim {

namespace {

size_t size_of(const InfoValue& value)
{
    switch (value.type) {
    case INFO_DATATYPE_STRING: return value.text.size() + 1;
    case INFO_DATATYPE_INT16:
    case INFO_DATATYPE_UINT16: return 2;
    case INFO_DATATYPE_INT32:
    case INFO_DATATYPE_UINT32: return 4;
    case INFO_DATATYPE_INT64:
    case INFO_DATATYPE_UINT64: return 8;
    case INFO_DATATYPE_BOOL8: return 1;
    case INFO_DATATYPE_SIZET: return sizeof(size_t);
    case INFO_DATATYPE_PTR: return sizeof(void*);
    default: return 0;
    }
}

template <typename T>
void store(uint64_t number, void* buffer)
{
    const T value = static_cast<T>(number);
    std::memcpy(buffer, &value, sizeof value);
}

void store_value(const InfoValue& value, void* buffer)
{
    switch (value.type) {
    case INFO_DATATYPE_STRING:
        std::memcpy(buffer, value.text.c_str(), value.text.size() + 1);
        break;
    case INFO_DATATYPE_INT16:
    case INFO_DATATYPE_UINT16: store<uint16_t>(value.number, buffer); break;
    case INFO_DATATYPE_INT32:
    case INFO_DATATYPE_UINT32: store<uint32_t>(value.number, buffer); break;
    case INFO_DATATYPE_INT64:
    case INFO_DATATYPE_UINT64: store<uint64_t>(value.number, buffer); break;
    case INFO_DATATYPE_BOOL8: store<uint8_t>(value.number != 0, buffer); break;
    case INFO_DATATYPE_SIZET: store<size_t>(value.number, buffer); break;
    case INFO_DATATYPE_PTR: std::memcpy(buffer, &value.pointer, sizeof value.pointer); break;
    default: break;
    }
}

}  // namespace

InfoValue info_text(const std::string& text)
{
    InfoValue value{INFO_DATATYPE_STRING, text};
    return value;
}

InfoValue info_number(INFO_DATATYPE type, uint64_t number)
{
    InfoValue value{type, {}};
    value.number = number;
    return value;
}

InfoValue info_pointer(const void* pointer)
{
    InfoValue value{INFO_DATATYPE_PTR, {}};
    value.pointer = pointer;
    return value;
}

GC_ERROR answer_info(const InfoValue& value, INFO_DATATYPE* type, void* buffer, size_t* size)
{
    if (type) *type = value.type;
    if (!size) return GC_ERR_INVALID_PARAMETER;
    const size_t needed = size_of(value);
    if (!buffer) {
        *size = needed;
        return GC_ERR_SUCCESS;
    }
    if (*size < needed) return GC_ERR_BUFFER_TOO_SMALL;
    store_value(value, buffer);
    *size = needed;
    return GC_ERR_SUCCESS;
}

GC_ERROR answer_text(const std::string& text, char* buffer, size_t* size)
{
    return answer_info(info_text(text), nullptr, buffer, size);
}

}  // namespace camsim
