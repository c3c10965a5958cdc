#include "camera/genapi_description.h"

#include <expat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

struct GenApiDescription::Nodes {
    // An element as far as the reader needs it: a node, one of its
    // properties (a child element), or a property of one of its EnumEntries.
    // Nothing deeper is kept, so no structure of the input nests further.
    struct Element {
        std::string kind;  // the local name: IntReg, pValue, EnumEntry ...
        std::string name;  // the Name attribute of nodes and EnumEntries
        std::string text;
        std::vector<Element> children;
    };
    std::map<std::string, Element> by_name;
};

namespace {

using Element = GenApiDescription::Nodes::Element;

const char* const genapi_namespaces[] = {
    "http://www.genicam.org/GenApi/Version_1_1",
    "http://www.genicam.org/GenApi/Version_1_0",
};
// No namespace URI contains a blank, so expat's "URI local-name" splits cleanly.
const char namespace_separator = ' ';
// Nodes followed for one feature. Real chains are a handful long; the bound
// ends loops and keeps a hostile description from costing more than that.
const int max_steps = 64;

std::string trimmed(const std::string& text)
{
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Names and texts come from the camera; a control character in one must not
// break a message into lines or into terminal commands.
std::string quoted(const std::string& text)
{
    std::string result = "\"";
    for (char c : text) result += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '?' : c;
    return result + "\"";
}

// GenApi's integer literals: decimal with an optional sign, or 0x hexadecimal
// (a bit pattern, so 0xFFFFFFFFFFFFFFFF is -1).
bool parse_integer(const std::string& text, int64_t& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (text.size() > 18) return false;
        uint64_t bits = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            char c = text[i];
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
            if (digit < 0) return false;
            bits = bits << 4 | static_cast<uint64_t>(digit);
        }
        value = static_cast<int64_t>(bits);
        return true;
    }
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        uint64_t digit = static_cast<uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
    }
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

const Element* property(const Element& node, const char* kind)
{
    for (const Element& child : node.children)
        if (child.kind == kind) return &child;
    return nullptr;
}

// Builds the node table from expat's events. Nodes sit under the root or
// under Group wrappers; every element outside GenApi's namespace is skipped
// with all it holds.
class Builder {
public:
    Builder(XML_Parser parser, GenApiDescription::Nodes& nodes) : parser_(parser), nodes_(nodes) {}

    std::string error;

    static void XMLCALL on_start(void* data, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<Builder*>(data)->start(name, attributes);
    }
    static void XMLCALL on_end(void* data, const XML_Char*) { static_cast<Builder*>(data)->end(); }
    static void XMLCALL on_text(void* data, const XML_Char* text, int length)
    {
        static_cast<Builder*>(data)->text(text, length);
    }
    // Entity expansion is the one way a small description could exhaust
    // memory, and GenApi descriptions never declare entities.
    static void XMLCALL on_entity(void* data, const XML_Char* entity_name, int, const XML_Char*,
                                  int, const XML_Char*, const XML_Char*, const XML_Char*,
                                  const XML_Char*)
    {
        static_cast<Builder*>(data)->stop("description declares the entity " + quoted(entity_name) +
                                          ", which a GenApi description never needs");
    }

private:
    enum class Role { root, group, node, property, entry, entry_property, skipped };

    void stop(const std::string& why)
    {
        if (error.empty()) error = why;
        XML_StopParser(parser_, XML_FALSE);
    }

    static bool in_genapi(const std::string& uri)
    {
        for (const char* known : genapi_namespaces)
            if (uri == known) return true;
        return false;
    }

    static std::string attribute(const XML_Char** attributes, const char* name)
    {
        for (; attributes[0]; attributes += 2)
            if (std::strcmp(attributes[0], name) == 0) return attributes[1];
        return std::string();
    }

    void start(const XML_Char* qualified, const XML_Char** attributes)
    {
        if (!error.empty()) return;
        const char* separator = std::strchr(qualified, namespace_separator);
        std::string uri = separator ? std::string(qualified, separator) : std::string();
        std::string local = separator ? separator + 1 : qualified;
        if (open_.empty()) {
            if (local != "RegisterDescription" || !in_genapi(uri)) {
                stop("description is not a GenApi 1.0 or 1.1 description: its root element is " +
                     quoted(local) + " in namespace " + quoted(uri));
                return;
            }
            open_.push_back(Role::root);
            return;
        }
        Role parent = open_.back();
        Role role = Role::skipped;
        if (in_genapi(uri)) {
            switch (parent) {
            case Role::root:
            case Role::group:
                if (local == "Group") {
                    role = Role::group;
                } else if (!attribute(attributes, "Name").empty()) {
                    node_ = Element{local, attribute(attributes, "Name"), std::string(), {}};
                    role = Role::node;
                }
                break;
            case Role::node:
                role = local == "EnumEntry" ? Role::entry : Role::property;
                node_.children.push_back(
                    Element{local, attribute(attributes, "Name"), std::string(), {}});
                break;
            case Role::entry:
                role = Role::entry_property;
                node_.children.back().children.push_back(
                    Element{local, std::string(), std::string(), {}});
                break;
            default: break;
            }
        }
        open_.push_back(role);
    }

    Element* text_holder()
    {
        if (open_.empty()) return nullptr;
        if (open_.back() == Role::property) return &node_.children.back();
        if (open_.back() == Role::entry_property) return &node_.children.back().children.back();
        return nullptr;
    }

    void text(const XML_Char* text, int length)
    {
        if (!error.empty()) return;
        if (Element* holder = text_holder()) holder->text.append(text, static_cast<size_t>(length));
    }

    void end()
    {
        if (!error.empty() || open_.empty()) return;
        if (Element* holder = text_holder()) holder->text = trimmed(holder->text);
        Role role = open_.back();
        open_.pop_back();
        if (role != Role::node) return;
        std::string name = node_.name;
        if (!nodes_.by_name.emplace(name, std::move(node_)).second)
            stop("description has two nodes named " + quoted(name));
        node_ = Element();
    }

    XML_Parser parser_;
    GenApiDescription::Nodes& nodes_;
    std::vector<Role> open_;
    Element node_;  // the node being read
};

// One access to one feature: every message names the feature, and the
// nodes it follows are counted against max_steps.
class Resolver {
public:
    Resolver(const GenApiDescription::Nodes& nodes, const std::string& feature,
             RegisterAccess& registers, std::string& error)
        : nodes_(nodes), feature_(feature), registers_(registers), error_(error)
    {
    }

    const Element* feature_node()
    {
        auto found = nodes_.by_name.find(feature_);
        if (found != nodes_.by_name.end()) return &found->second;
        error_ = "description has no feature " + quoted(feature_);
        return nullptr;
    }

    bool fail(const std::string& why)
    {
        error_ = "feature " + quoted(feature_) + why;
        return false;
    }

    bool unsupported(const Element& node, const std::string& detail = std::string())
    {
        return fail(" needs node " + quoted(node.name) + " of kind " + node.kind + detail +
                    ", which is not supported");
    }

    bool missing(const Element& node, const std::string& what)
    {
        return fail(": node " + quoted(node.name) + " has " + what);
    }

    bool wrong_kind(const Element& node, const char* wanted)
    {
        return fail(" is of kind " + node.kind + ", not " + wanted);
    }

    // The node that `reference`, a pValue, pAddress ... of `from`, names.
    const Element* follow(const Element& from, const Element& reference)
    {
        if (++steps_ > max_steps) {
            fail(": its nodes refer to one another in a loop or a chain longer than " +
                 std::to_string(max_steps) + " (at " + quoted(from.name) + ")");
            return nullptr;
        }
        auto found = nodes_.by_name.find(reference.text);
        if (found != nodes_.by_name.end()) return &found->second;
        fail(" needs node " + quoted(reference.text) + ", which the description does not have");
        return nullptr;
    }

    bool literal(const Element& node, const Element& value_property, int64_t& value)
    {
        if (parse_integer(value_property.text, value)) return true;
        return fail(": node " + quoted(node.name) + " has " + value_property.kind + " " +
                    quoted(value_property.text) + ", which is not a number");
    }

    // A value given as a literal property or as a pointer to an integer node
    // (Value or pValue, CommandValue or pCommandValue ...). False with no
    // message when the node has neither, for the caller to word.
    bool literal_or_pointer(const Element& node, const char* literal_kind, const char* pointer_kind,
                            int64_t& value, bool& present)
    {
        present = true;
        if (const Element* pointer = property(node, pointer_kind)) {
            const Element* target = follow(node, *pointer);
            return target && integer_value(*target, value);
        }
        if (const Element* given = property(node, literal_kind))
            return literal(node, *given, value);
        present = false;
        return false;
    }

    bool integer_value(const Element& node, int64_t& value)
    {
        if (node.kind == "Integer") {
            if (property(node, "pIndex")) return unsupported(node, " with pIndex");
            bool present = false;
            if (literal_or_pointer(node, "Value", "pValue", value, present)) return true;
            return present ? false : missing(node, "neither Value nor pValue");
        }
        if (node.kind == "IntReg" || node.kind == "MaskedIntReg") {
            Register where;
            if (!locate(node, where)) return false;
            if (where.access == "WO") return fail(": node " + quoted(node.name) + " is write only");
            uint64_t raw = 0;
            if (!read_register(where, raw)) return false;
            uint64_t field = raw >> where.lsb & mask(where.width);
            if (where.is_signed && where.width < 64 && (field >> (where.width - 1) & 1))
                field |= ~mask(where.width);
            value = static_cast<int64_t>(field);
            return true;
        }
        return unsupported(node);
    }

    bool set_integer(const Element& node, int64_t value)
    {
        if (node.kind == "Integer") {
            if (property(node, "pIndex")) return unsupported(node, " with pIndex");
            const Element* imposed = property(node, "ImposedAccessMode");
            if (imposed && imposed->text == "RO")
                return fail(": node " + quoted(node.name) + " is read only");
            if (const Element* pointer = property(node, "pValue")) {
                const Element* target = follow(node, *pointer);
                return target && set_integer(*target, value);
            }
            if (property(node, "Value"))
                return fail(": node " + quoted(node.name) + " holds a constant Value");
            return missing(node, "neither Value nor pValue");
        }
        if (node.kind == "IntReg" || node.kind == "MaskedIntReg") {
            Register where;
            if (!locate(node, where)) return false;
            if (where.access == "RO") return fail(": node " + quoted(node.name) + " is read only");
            if (!fits(value, where))
                return fail(": value " + std::to_string(value) + " does not fit node " +
                            quoted(node.name) + ", whose " + std::to_string(where.width) +
                            " bits are " + (where.is_signed ? "signed" : "unsigned"));
            uint64_t raw = 0;
            bool whole = where.width == 8 * where.length;
            // The other bits keep their value, unless the register cannot be read.
            if (!whole && where.access != "WO" && !read_register(where, raw)) return false;
            uint64_t field_mask = mask(where.width) << where.lsb;
            raw = (raw & ~field_mask) | (static_cast<uint64_t>(value) << where.lsb & field_mask);
            return write_register(where, raw);
        }
        return unsupported(node);
    }

private:
    struct Register {
        uint64_t address = 0;
        size_t length = 0;
        bool big_endian = false;
        bool is_signed = false;
        std::string access;
        unsigned lsb = 0;    // the field's lowest bit, 0 the value's least significant
        unsigned width = 0;  // the field's bits
    };

    static uint64_t mask(unsigned width)
    {
        return width >= 64 ? ~uint64_t(0) : (uint64_t(1) << width) - 1;
    }

    static bool fits(int64_t value, const Register& where)
    {
        if (where.width >= 64) return true;
        if (where.is_signed) {
            int64_t half = int64_t(1) << (where.width - 1);
            return value >= -half && value < half;
        }
        return value >= 0 && static_cast<uint64_t>(value) <= mask(where.width);
    }

    bool choice(const Element& node, const char* kind, const char* first, const char* second,
                bool& is_second)
    {
        const Element* given = property(node, kind);
        is_second = false;
        if (!given || given->text == first) return true;
        if (given->text == second) return is_second = true;
        return fail(": node " + quoted(node.name) + " has " + kind + " " + quoted(given->text) +
                    ", neither " + first + " nor " + second);
    }

    bool bit_number(const Element& node, const Element& given, unsigned bits, unsigned& bit)
    {
        int64_t number = 0;
        if (!literal(node, given, number)) return false;
        if (number < 0 || number >= int64_t(bits))
            return fail(": node " + quoted(node.name) + " has " + given.kind + " " + given.text +
                        ", outside its " + std::to_string(bits) + " bits");
        bit = static_cast<unsigned>(number);
        return true;
    }

    bool locate(const Element& node, Register& where)
    {
        if (!add_addresses(node, where) || !take_layout(node, where)) return false;
        return node.kind != "MaskedIntReg" || take_masked_bits(node, where);
    }

    bool add_addresses(const Element& node, Register& where)
    {
        if (property(node, "pIndex")) return unsupported(node, " with pIndex");
        if (property(node, "IntSwissKnife"))
            return unsupported(node, " with an address from an IntSwissKnife");
        bool addressed = false;
        for (const Element& part : node.children) {
            int64_t offset = 0;
            if (part.kind == "Address") {
                if (!literal(node, part, offset)) return false;
            } else if (part.kind == "pAddress") {
                const Element* target = follow(node, part);
                if (!target || !integer_value(*target, offset)) return false;
            } else {
                continue;
            }
            where.address += static_cast<uint64_t>(offset);
            addressed = true;
        }
        return addressed || missing(node, "no Address");
    }

    // Length, byte order, sign and access; the value is the whole register.
    bool take_layout(const Element& node, Register& where)
    {
        int64_t length = 0;
        bool present = false;
        if (!literal_or_pointer(node, "Length", "pLength", length, present))
            return present ? false : missing(node, "no Length");
        if (length < 1 || length > 8)
            return fail(": node " + quoted(node.name) + " is " + std::to_string(length) +
                        " bytes long; integer registers are 1 to 8");
        where.length = static_cast<size_t>(length);
        if (!choice(node, "Endianess", "LittleEndian", "BigEndian", where.big_endian) ||
            !choice(node, "Sign", "Unsigned", "Signed", where.is_signed))
            return false;
        if (const Element* access = property(node, "AccessMode")) where.access = access->text;
        where.width = static_cast<unsigned>(8 * where.length);
        return true;
    }

    bool take_masked_bits(const Element& node, Register& where)
    {
        const unsigned bits = static_cast<unsigned>(8 * where.length);
        unsigned low = 0, high = 0;
        const Element* bit = property(node, "Bit");
        const Element* lsb = property(node, "LSB");
        const Element* msb = property(node, "MSB");
        if (bit) {
            if (!bit_number(node, *bit, bits, low)) return false;
            high = low;
        } else if (lsb && msb) {
            if (!bit_number(node, *lsb, bits, low) || !bit_number(node, *msb, bits, high))
                return false;
        } else {
            return missing(node, "neither Bit nor LSB and MSB");
        }
        // GenApi numbers a big-endian register's bits from its most
        // significant one, a little-endian register's from its least.
        if (where.big_endian) {
            low = bits - 1 - low;
            high = bits - 1 - high;
        }
        if (low > high)
            return fail(": node " + quoted(node.name) + " has its LSB above its MSB for a " +
                        (where.big_endian ? "BigEndian" : "LittleEndian") + " register");
        where.lsb = low;
        where.width = high - low + 1;
        return true;
    }

    std::string at(const Register& where)
    {
        char address[32];
        std::snprintf(address, sizeof address, "0x%llX",
                      static_cast<unsigned long long>(where.address));
        return std::to_string(where.length) + " bytes at " + address;
    }

    bool read_register(const Register& where, uint64_t& raw)
    {
        uint8_t bytes[8] = {};
        std::string why;
        if (!registers_.read(where.address, bytes, where.length, why))
            return fail(": reading " + at(where) + " failed: " + why);
        raw = 0;
        for (size_t i = 0; i < where.length; ++i) {
            size_t index = where.big_endian ? i : where.length - 1 - i;
            raw = raw << 8 | bytes[index];
        }
        return true;
    }

    bool write_register(const Register& where, uint64_t raw)
    {
        uint8_t bytes[8] = {};
        for (size_t i = 0; i < where.length; ++i) {
            size_t index = where.big_endian ? where.length - 1 - i : i;
            bytes[index] = static_cast<uint8_t>(raw >> (8 * i));
        }
        std::string why;
        if (!registers_.write(where.address, bytes, where.length, why))
            return fail(": writing " + at(where) + " failed: " + why);
        return true;
    }

    const GenApiDescription::Nodes& nodes_;
    const std::string& feature_;
    RegisterAccess& registers_;
    std::string& error_;
    int steps_ = 0;
};

// What an EnumEntry is called: its Symbolic when given, else its name, which
// some descriptions write as EnumEntry_<Enumeration>_<entry>.
std::string symbolic_name(const Element& enumeration, const Element& entry)
{
    if (const Element* symbolic = property(entry, "Symbolic")) return symbolic->text;
    std::string prefix = "EnumEntry_" + enumeration.name + "_";
    if (entry.name.compare(0, prefix.size(), prefix) == 0 && entry.name.size() > prefix.size())
        return entry.name.substr(prefix.size());
    return entry.name;
}

}  // namespace

GenApiDescription::GenApiDescription(std::unique_ptr<Nodes> nodes) : nodes_(std::move(nodes)) {}

GenApiDescription::~GenApiDescription() {}

std::unique_ptr<GenApiDescription> GenApiDescription::parse(const std::string& xml,
                                                            std::string& error)
{
    std::unique_ptr<Nodes> nodes(new Nodes);
    XML_Parser parser = XML_ParserCreateNS(nullptr, namespace_separator);
    if (!parser) {
        error = "description cannot be parsed: out of memory";
        return nullptr;
    }
    Builder builder(parser, *nodes);
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, &Builder::on_start, &Builder::on_end);
    XML_SetCharacterDataHandler(parser, &Builder::on_text);
    XML_SetEntityDeclHandler(parser, &Builder::on_entity);
    // XML_Parse takes an int length: hand over pieces of at most 1 MiB.
    const size_t piece = 1u << 20;
    bool parsed = true;
    size_t offset = 0;
    do {
        size_t length = std::min(piece, xml.size() - offset);
        bool last = offset + length == xml.size();
        if (XML_Parse(parser, xml.data() + offset, static_cast<int>(length), last) !=
            XML_STATUS_OK) {
            parsed = false;
            break;
        }
        offset += length;
    } while (offset < xml.size());
    if (!parsed && builder.error.empty()) {
        builder.error = "description is not well-formed XML: " +
                        std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                        std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
                        std::to_string(XML_GetCurrentColumnNumber(parser) + 1);
    }
    XML_ParserFree(parser);
    if (!builder.error.empty()) {
        error = builder.error;
        return nullptr;
    }
    return std::unique_ptr<GenApiDescription>(new GenApiDescription(std::move(nodes)));
}

bool GenApiDescription::has(const std::string& feature) const
{
    return nodes_->by_name.count(feature) != 0;
}

bool GenApiDescription::read_integer(const std::string& feature, RegisterAccess& registers,
                                     int64_t& value, std::string& error) const
{
    Resolver resolver(*nodes_, feature, registers, error);
    const Element* node = resolver.feature_node();
    if (!node) return false;
    if (node->kind == "Boolean") {
        int64_t raw = 0, on = 1, off = 0;
        bool present = false;
        if (!resolver.literal_or_pointer(*node, "Value", "pValue", raw, present))
            return present ? false : resolver.missing(*node, "neither Value nor pValue");
        const Element* on_value = property(*node, "OnValue");
        const Element* off_value = property(*node, "OffValue");
        if ((on_value && !resolver.literal(*node, *on_value, on)) ||
            (off_value && !resolver.literal(*node, *off_value, off)))
            return false;
        if (raw != on && raw != off)
            return resolver.fail(": reads " + std::to_string(raw) + ", neither its OnValue " +
                                 std::to_string(on) + " nor its OffValue " + std::to_string(off));
        value = raw == on ? 1 : 0;
        return true;
    }
    if (node->kind == "Enumeration") {
        bool present = false;
        if (resolver.literal_or_pointer(*node, "Value", "pValue", value, present)) return true;
        return present ? false : resolver.missing(*node, "neither Value nor pValue");
    }
    return resolver.integer_value(*node, value);
}

bool GenApiDescription::write_integer(const std::string& feature, int64_t value,
                                      RegisterAccess& registers, std::string& error) const
{
    Resolver resolver(*nodes_, feature, registers, error);
    const Element* node = resolver.feature_node();
    if (!node) return false;
    const Element* target = node;
    if (node->kind == "Boolean" || node->kind == "Enumeration") {
        const Element* pointer = property(*node, "pValue");
        if (!pointer) return resolver.missing(*node, "no pValue to write");
        if (node->kind == "Boolean") {
            if (value != 0 && value != 1)
                return resolver.fail(" is a Boolean: it takes 0 or 1, not " +
                                     std::to_string(value));
            const Element* given = property(*node, value ? "OnValue" : "OffValue");
            int64_t written = value;
            if (given && !resolver.literal(*node, *given, written)) return false;
            value = written;
        } else {
            bool known = false;
            for (const Element& entry : node->children) {
                const Element* entry_value = property(entry, "Value");
                int64_t number = 0;
                if (entry.kind == "EnumEntry" && entry_value &&
                    parse_integer(entry_value->text, number) && number == value)
                    known = true;
            }
            if (!known) return resolver.fail(" has no entry of value " + std::to_string(value));
        }
        target = resolver.follow(*node, *pointer);
        if (!target) return false;
    }
    return resolver.set_integer(*target, value);
}

bool GenApiDescription::read_enumeration(const std::string& feature, RegisterAccess& registers,
                                         std::string& entry, std::string& error) const
{
    Resolver resolver(*nodes_, feature, registers, error);
    const Element* node = resolver.feature_node();
    if (!node) return false;
    if (node->kind != "Enumeration") return resolver.wrong_kind(*node, "Enumeration");
    int64_t value = 0;
    bool present = false;
    if (!resolver.literal_or_pointer(*node, "Value", "pValue", value, present))
        return present ? false : resolver.missing(*node, "neither Value nor pValue");
    for (const Element& candidate : node->children) {
        const Element* entry_value = property(candidate, "Value");
        int64_t number = 0;
        if (candidate.kind == "EnumEntry" && entry_value &&
            parse_integer(entry_value->text, number) && number == value) {
            entry = symbolic_name(*node, candidate);
            return true;
        }
    }
    return resolver.fail(" reads " + std::to_string(value) + ", which none of its entries has");
}

bool GenApiDescription::set_enumeration(const std::string& feature, const std::string& entry,
                                        RegisterAccess& registers, std::string& error) const
{
    Resolver resolver(*nodes_, feature, registers, error);
    const Element* node = resolver.feature_node();
    if (!node) return false;
    if (node->kind != "Enumeration") return resolver.wrong_kind(*node, "Enumeration");
    for (const Element& candidate : node->children) {
        if (candidate.kind != "EnumEntry" || symbolic_name(*node, candidate) != entry) continue;
        const Element* entry_value = property(candidate, "Value");
        if (!entry_value) return resolver.fail(": its entry " + quoted(entry) + " has no Value");
        int64_t value = 0;
        if (!resolver.literal(candidate, *entry_value, value)) return false;
        const Element* pointer = property(*node, "pValue");
        if (!pointer) return resolver.missing(*node, "no pValue to write");
        const Element* target = resolver.follow(*node, *pointer);
        return target && resolver.set_integer(*target, value);
    }
    return resolver.fail(" has no entry " + quoted(entry));
}

bool GenApiDescription::execute(const std::string& command, RegisterAccess& registers,
                                std::string& error) const
{
    Resolver resolver(*nodes_, command, registers, error);
    const Element* node = resolver.feature_node();
    if (!node) return false;
    if (node->kind != "Command") return resolver.wrong_kind(*node, "Command");
    int64_t value = 0;
    bool present = false;
    if (!resolver.literal_or_pointer(*node, "CommandValue", "pCommandValue", value, present))
        return present ? false : resolver.missing(*node, "neither CommandValue nor pCommandValue");
    const Element* pointer = property(*node, "pValue");
    if (!pointer) return resolver.missing(*node, "no pValue to write");
    const Element* target = resolver.follow(*node, *pointer);
    return target && resolver.set_integer(*target, value);
}
