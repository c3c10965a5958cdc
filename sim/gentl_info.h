// The answer to a GenTL info query: one typed value, written into the
// consumer's buffer the way every *GetInfo entry point does it.
#pragma once

#include <cstdint>
#include <string>

#include "gentl_api.h"

namespace camsim {

struct InfoValue {
    gentl::INFO_DATATYPE type;
    std::string text;       // INFO_DATATYPE_STRING
    uint64_t number = 0;    // the integer and boolean types
    const void* pointer{};  // INFO_DATATYPE_PTR
};

InfoValue info_text(const std::string& text);
InfoValue info_number(gentl::INFO_DATATYPE type, uint64_t number);
InfoValue info_pointer(const void* pointer);

// Tells the type when asked; with a null buffer only the size the value needs
// (a string's with its NUL); else the value, refused with
// GC_ERR_BUFFER_TOO_SMALL when *size is short of it.
gentl::GC_ERROR answer_info(const InfoValue& value, gentl::INFO_DATATYPE* type, void* buffer,
                            size_t* size);

// A string answer where the entry point has no type argument.
gentl::GC_ERROR answer_text(const std::string& text, char* buffer, size_t* size);

}  // namespace camsim
