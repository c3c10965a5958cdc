#include "camera/clserial.h"

#include <cstdio>
#include <string>
#include <vector>

#include "lib/log.h"
#include "platform/directory.h"
#include "platform/library.h"
#include "platform/serial_path.h"

namespace {

const char* const log_source = "lib\\CLSerial";
const char* const log_function = "ClSerial::ClSerial";

constexpr uint32_t text_buffer_size = 1024;

// A text buffer the library fills; whatever it does, the text ends inside
// the buffer.
class TextBuffer {
public:
    TextBuffer() : bytes_(text_buffer_size + 1, '\0') {}
    char* data() { return bytes_.data(); }
    String text() const { return String(bytes_.data()); }

private:
    std::vector<char> bytes_;
};

template <typename F>
struct EntryBinding {
    const char* name;
    F& slot;
};

template <typename F>
EntryBinding<F> entry(const char* name, F& slot)
{
    return EntryBinding<F>{name, slot};
}

template <typename... F>
void bind_entries(const ClSerial::Lookup& lookup, EntryBinding<F>... entries)
{
    ((entries.slot = reinterpret_cast<F>(lookup(entries.name))), ...);
}

// What was printed survives a crash inside the library.
void before_library_call() { std::fflush(stdout); }

String lower_case(const String& text)
{
    std::string lower(text.c_str(), static_cast<size_t>(text.length()));
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return String(lower.c_str(), static_cast<int32_t>(lower.size()));
}

bool ends_with(const String& text, const std::string& tail)
{
    const std::string whole(text.c_str(), static_cast<size_t>(text.length()));
    return whole.size() >= tail.size() &&
           whole.compare(whole.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

ClSerial::ClSerial(const String& path, Log& log) : log_(log)
{
    log_.write(LOG_INFO, log_source, log_function, "load dll %s", path.c_str());
    before_library_call();
    std::string reason;
    module_ = platform::SharedLibrary::open(path.c_str(), &reason);
    if (!module_) {
        log_.write(LOG_ERROR, log_source, log_function, "cannot load %s: %s", path.c_str(),
                   reason.c_str());
        throw int(clser_library_refused);
    }
    const platform::SharedLibrary& loaded = *module_;
    bind([&loaded](const char* name) { return loaded.function<AnyEntry>(name); });
    if (!offers_required_entries()) throw int(clser_library_refused);
    log_ports();
}

ClSerial::ClSerial(const String& path, const Lookup& lookup, Log& log) : log_(log)
{
    log_.write(LOG_INFO, log_source, log_function, "load dll %s", path.c_str());
    bind(lookup);
    if (!offers_required_entries()) throw int(clser_library_refused);
    log_ports();
}

ClSerial::~ClSerial() = default;

void ClSerial::bind(const Lookup& lookup)
{
    bind_entries(lookup, entry("clSerialInit", entries_.clSerialInit),
                 entry("clSerialClose", entries_.clSerialClose),
                 entry("clSerialWrite", entries_.clSerialWrite),
                 entry("clSerialRead", entries_.clSerialRead),
                 entry("clGetNumSerialPorts", entries_.clGetNumSerialPorts),
                 entry("clGetNumPorts", entries_.clGetNumPorts),
                 entry("clGetPortInfo", entries_.clGetPortInfo),
                 entry("clGetSerialPortIdentifier", entries_.clGetSerialPortIdentifier),
                 entry("clFlushPort", entries_.clFlushPort),
                 entry("clGetNumBytesAvail", entries_.clGetNumBytesAvail),
                 entry("clSetBaudRate", entries_.clSetBaudRate),
                 entry("clGetManufacturerInfo", entries_.clGetManufacturerInfo));
}

// The entry points called without asking whether they exist; a library
// without one of them is refused as if it had not loaded.
bool ClSerial::offers_required_entries() const
{
    return entries_.clGetSerialPortIdentifier && entries_.clGetManufacturerInfo &&
           entries_.clSerialInit && entries_.clFlushPort && entries_.clSerialClose &&
           entries_.clSerialWrite && entries_.clSerialRead;
}

void ClSerial::log_ports() const
{
    if (entries_.clGetNumSerialPorts) {
        const int32_t count = num_serial_ports();
        log_.write(LOG_INFO, log_source, log_function, "num ports %d", static_cast<int>(count));
        for (int32_t i = 0; i < count; ++i)
            log_.write(LOG_INFO, log_source, log_function, "port %d - %s", static_cast<int>(i),
                       serialPortName(static_cast<uint32_t>(i)).c_str());
    }
    if (entries_.clGetNumPorts) {
        uint32_t reported = 0;
        before_library_call();
        entries_.clGetNumPorts(&reported);
        const int32_t count = static_cast<int32_t>(reported);
        log_.write(LOG_INFO, log_source, log_function, "num ports %d", static_cast<int>(count));
        for (int32_t i = 0; i < count; ++i) {
            const String name = portInfoName(static_cast<uint32_t>(i));
            log_.write(LOG_INFO, log_source, log_function, "port %d - %s", static_cast<int>(i),
                       name.c_str());
            console_print("port %d - %s", static_cast<int>(i), name.c_str());
        }
    }
}

int32_t ClSerial::num_serial_ports() const
{
    if (!entries_.clGetNumSerialPorts) return 0;
    uint32_t count = 0;
    before_library_call();
    entries_.clGetNumSerialPorts(&count);
    // A count beyond the signed range is nonsense; read as negative, it offers nothing.
    return static_cast<int32_t>(count);
}

void ClSerial::open(uint32_t index)
{
    close();
    before_library_call();
    if (entries_.clSerialInit(index, &serial_ref_) != clser::CL_ERR_NO_ERR || !serial_ref_)
        throw int(clser_open_failed);
    if (entries_.clFlushPort(serial_ref_) != clser::CL_ERR_NO_ERR) throw int(clser_open_failed);
}

void ClSerial::close()
{
    if (!serial_ref_) return;
    before_library_call();
    entries_.clSerialClose(serial_ref_);
    serial_ref_ = nullptr;
}

void ClSerial::serialWrite(char c)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint32_t count = 1;
        before_library_call();
        entries_.clSerialWrite(serial_ref_, &c, &count, timeout_ms);
        if (count == 1) return;
    }
    throw int(clser_write_failed);
}

void ClSerial::serialWriteLine(const String& text)
{
    for (int32_t i = 0; i < text.length() && text[i] != '\0'; ++i) serialWrite(text[i]);
    serialWrite('\r');
    serialWrite('\n');
}

String ClSerial::serialReadLine()
{
    std::string line;
    for (;;) {
        char byte = 0;
        uint32_t count = 1;
        before_library_call();
        entries_.clSerialRead(serial_ref_, &byte, &count, timeout_ms);
        if (count != 1 || byte == '\n') break;
        // Control characters and every byte from 128 up are dropped.
        if (static_cast<signed char>(byte) < 32) continue;
        // Characters past the limit are read, so the line still ends at its
        // line feed, but not kept.
        if (line.size() < static_cast<size_t>(max_line_length)) line += byte;
    }
    return String(line.c_str(), static_cast<int32_t>(line.size()));
}

String ClSerial::serialPortName(uint32_t index) const
{
    TextBuffer identifier_buffer;
    uint32_t size = text_buffer_size;
    before_library_call();
    entries_.clGetSerialPortIdentifier(index, identifier_buffer.data(), &size);
    const String identifier = size > 0 ? identifier_buffer.text() : String("0");
    const int32_t hash = identifier.find_first_of(0, "#");
    const String prefix = hash < 0 ? identifier : identifier.substring(0, hash);

    TextBuffer manufacturer_buffer;
    size = text_buffer_size;
    uint32_t version = 0;
    before_library_call();
    entries_.clGetManufacturerInfo(manufacturer_buffer.data(), &size, &version);
    const String manufacturer = size > 0 ? manufacturer_buffer.text() : String("0");

    return manufacturer + "#" + prefix + "#Port" +
           String::format("%u", static_cast<unsigned>(index));
}

String ClSerial::portInfoName(uint32_t index) const
{
    TextBuffer manufacturer;
    TextBuffer port_id;
    // Only aggregators offer clGetPortInfo; without it both texts stay empty.
    if (entries_.clGetPortInfo) {
        uint32_t name_size = text_buffer_size;
        uint32_t id_size = text_buffer_size;
        uint32_t version = 0;
        before_library_call();
        entries_.clGetPortInfo(index, manufacturer.data(), &name_size, port_id.data(), &id_size,
                               &version);
    }
    return manufacturer.text() + "#" + port_id.text();
}

bool is_serial_library_name(const String& name, const char* suffix)
{
    const String lower = lower_case(name);
    const std::string ending(suffix);
    if (ends_with(lower, "_w64" + ending)) return false;
    if (lower == ("clserialall" + ending).c_str()) return false;
    return lower.starts_with("clser", 5) && ends_with(lower, ending);
}

ClSerialPortList::ClSerialPortList(Log& log)
    : ClSerialPortList(
          [&log](const String& path) { return std::unique_ptr<ClSerial>(new ClSerial(path, log)); })
{
    std::string directory;
    if (platform::serial_library_directory(directory) && !directory.empty())
        scan(directory.c_str());
}

ClSerialPortList::ClSerialPortList(const Loader& loader) : loader_(loader) {}

bool ClSerialPortList::scan(const String& directory)
{
    String folder = directory;
    if (folder.empty() || !platform::is_path_separator(folder[folder.length() - 1])) {
        const char separator[2] = {platform::path_separator(), '\0'};
        folder = folder + separator;
    }
    std::vector<std::string> names;
    if (!platform::list_directory(folder.c_str(), names)) return false;
    for (const std::string& name : names) {
        if (!is_serial_library_name(name.c_str(), platform::shared_library_suffix())) continue;
        add_library_ports(folder + name.c_str());
    }
    return true;
}

// Every port gets a binding of its own, so each keeps its own serial
// reference: the library is loaded once per port.
void ClSerialPortList::add_library_ports(const String& path)
{
    std::unique_ptr<ClSerial> binding;
    try {
        binding = loader_(path);
    } catch (int) {
        return;
    }
    const int32_t count = binding->num_serial_ports();
    for (int32_t i = 0; i < count; ++i) {
        if (!binding) {
            try {
                binding = loader_(path);
            } catch (int) {
                return;
            }
        }
        const uint32_t index = static_cast<uint32_t>(i);
        const String name = binding->serialPortName(index);
        ports.add(new ClSerialPort(index, std::move(binding), name));
    }
}

ClSerialPort* ClSerialPortList::find(const String& name) const
{
    for (int32_t i = 0; i < ports.count(); ++i)
        if (ports.at(i)->name == name) return ports.at(i);
    return nullptr;
}
