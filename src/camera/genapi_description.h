// A camera's GenApi description, read far enough to start and stop its
// acquisition and to learn its image format: features made of the node kinds
// common descriptions use for those (Command, Integer, IntReg, MaskedIntReg,
// Boolean, Enumeration), resolved down to the camera's registers. A feature
// that needs any other kind is refused by name, never guessed at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The camera's register space as the description addresses it (a GenTL
// device port in practice). False with a one-line reason when the bytes did
// not move.
class RegisterAccess {
public:
    virtual bool read(uint64_t address, void* buffer, size_t length, std::string& error) = 0;
    virtual bool write(uint64_t address, const void* buffer, size_t length, std::string& error) = 0;
    virtual ~RegisterAccess() {}
};

class GenApiDescription {
public:
    // Null with a one-line reason in `error` when `xml` is not a well-formed
    // GenApi description (schema 1.0 or 1.1) or declares entities.
    static std::unique_ptr<GenApiDescription> parse(const std::string& xml, std::string& error);
    ~GenApiDescription();
    GenApiDescription(const GenApiDescription&) = delete;
    GenApiDescription& operator=(const GenApiDescription&) = delete;

    // Whether the description has the feature at all: a camera without
    // AcquisitionStart, say, runs freely, and the caller decides.
    bool has(const std::string& feature) const;

    // Every call below is false with a one-line reason in `error` naming the
    // feature: a feature the description lacks ("has no feature"), a node it
    // needs that is missing or of an unsupported kind, a value that does not
    // fit, a register access that failed.

    // Integer, IntReg and MaskedIntReg features; a Boolean as 0 or 1; an
    // Enumeration as its entry's value.
    bool read_integer(const std::string& feature, RegisterAccess& registers, int64_t& value,
                      std::string& error) const;
    bool write_integer(const std::string& feature, int64_t value, RegisterAccess& registers,
                       std::string& error) const;
    // An Enumeration's entry by its symbolic name (`Continuous`, `Mono8`).
    bool read_enumeration(const std::string& feature, RegisterAccess& registers, std::string& entry,
                          std::string& error) const;
    bool set_enumeration(const std::string& feature, const std::string& entry,
                         RegisterAccess& registers, std::string& error) const;
    // Writes a Command's value to its register.
    bool execute(const std::string& command, RegisterAccess& registers, std::string& error) const;

    struct Nodes;

private:
    explicit GenApiDescription(std::unique_ptr<Nodes> nodes);
    std::unique_ptr<Nodes> nodes_;
};
