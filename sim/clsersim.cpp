// clsersim: the simulated camera behind the Camera Link serial entry points,
// answering the register text protocol (serial_protocol.h) one reply line
// each. A request on a silent register
// gets no reply; a read then finds nothing at once instead of waiting out its
// time-out, so tests stay fast.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "camera_model.h"
#include "clserial_exports.h"
#include "serial_protocol.h"
#include "sim_config.h"

using camsim::CameraModel;
using camsim::SimConfig;
using namespace clser;

namespace {

struct Port {
    bool open = false;
    camsim::RequestLine request;
    std::string reply;  // characters not yet read
};

// One instance for the library's life; every port reaches the same camera,
// which shares its non-volatile store (CAMSIM_STATE) with camsim.cti.
struct Library {
    Library() : config(camsim::load_sim_config())
    {
        if (camsim::report_config_problems(config, "clsersim")) {
            // A settings file with mistakes offers no port rather than a camera
            // that behaves other than the test meant.
            config.serial_ports = 0;
        }
        ports.resize(config.serial_ports > 0 ? static_cast<size_t>(config.serial_ports) : 0);
    }

    CameraModel& camera()
    {
        // Made at the first open, so a library only loaded to be listed
        // leaves the store alone.
        if (!model) model.reset(new CameraModel(config, camsim::state_file_from_environment()));
        return *model;
    }

    SimConfig config;
    std::vector<Port> ports;
    std::unique_ptr<CameraModel> model;
    uint32_t requests = 0;
};

Library& library()
{
    static Library instance;
    return instance;
}

// A failure the settings ask of an entry point (fail_entry.<name>=<code>).
bool injected_failure(const char* entry, int32_t& code)
{
    const auto& failing = library().config.failing_entries;
    auto found = failing.find(entry);
    if (found == failing.end()) return false;
    code = found->second;
    return true;
}

Port* find_port(void* serial_ref)
{
    for (Port& port : library().ports)
        if (&port == serial_ref && port.open) return &port;
    return nullptr;
}

void receive(Port& port, char c)
{
    std::string line;
    if (!port.request.take(c, line)) return;
    std::string reply;
    Library& lib = library();
    if (++lib.requests == lib.config.fail_access) {
        port.reply += "ERROR -1010\r\n";
        return;
    }
    if (camsim::answer_request(line, lib.config, lib.camera(), reply)) port.reply += reply + "\r\n";
}

}  // namespace

extern "C" {

int32_t CLSER_CALLTYPE clGetNumSerialPorts(uint32_t* num_ports)
{
    if (!num_ports) return CL_ERR_INVALID_REFERENCE;
    *num_ports = static_cast<uint32_t>(library().ports.size());
    return CL_ERR_NO_ERR;
}

int32_t CLSER_CALLTYPE clGetSerialPortIdentifier(uint32_t serial_index, char* port_id,
                                                 uint32_t* buffer_size)
{
    if (serial_index >= library().ports.size()) return CL_ERR_INVALID_INDEX;
    return copy_text(library().config.serial_port_id(static_cast<int32_t>(serial_index)), port_id,
                     buffer_size);
}

int32_t CLSER_CALLTYPE clGetManufacturerInfo(char* manufacturer, uint32_t* buffer_size,
                                             uint32_t* version)
{
    if (version) *version = CL_DLL_VERSION_1_0;
    return copy_text(library().config.serial_manufacturer, manufacturer, buffer_size);
}

int32_t CLSER_CALLTYPE clSerialInit(uint32_t serial_index, void** serial_ref)
{
    if (!serial_ref) return CL_ERR_INVALID_REFERENCE;
    int32_t code;
    if (injected_failure("clSerialInit", code)) return code;
    Library& lib = library();
    if (serial_index >= lib.ports.size()) return CL_ERR_INVALID_INDEX;
    Port& port = lib.ports[serial_index];
    port = Port();
    port.open = true;
    // The camera powers up at each open: its settings and its non-volatile
    // store are read again, as camsim.cti reads them at GCInitLib.
    lib.config = camsim::load_sim_config();
    lib.model.reset();
    lib.requests = 0;
    lib.camera();
    *serial_ref = &port;
    return CL_ERR_NO_ERR;
}

void CLSER_CALLTYPE clSerialClose(void* serial_ref)
{
    if (Port* port = find_port(serial_ref)) *port = Port();
}

int32_t CLSER_CALLTYPE clFlushPort(void* serial_ref)
{
    Port* port = find_port(serial_ref);
    if (!port) return CL_ERR_INVALID_REFERENCE;
    int32_t code;
    if (injected_failure("clFlushPort", code)) return code;
    port->request.clear();
    port->reply.clear();
    return CL_ERR_NO_ERR;
}

int32_t CLSER_CALLTYPE clSerialWrite(void* serial_ref, char* buffer, uint32_t* buffer_size,
                                     uint32_t)
{
    Port* port = find_port(serial_ref);
    if (!port || !buffer_size) {
        if (buffer_size) *buffer_size = 0;
        return CL_ERR_INVALID_REFERENCE;
    }
    if (!buffer && *buffer_size) {
        *buffer_size = 0;
        return CL_ERR_INVALID_REFERENCE;
    }
    // A line that takes no character.
    int32_t code;
    if (injected_failure("clSerialWrite", code)) {
        *buffer_size = 0;
        return code;
    }
    for (uint32_t i = 0; i < *buffer_size; ++i) receive(*port, buffer[i]);
    return CL_ERR_NO_ERR;
}

int32_t CLSER_CALLTYPE clSerialRead(void* serial_ref, char* buffer, uint32_t* num_bytes, uint32_t)
{
    Port* port = find_port(serial_ref);
    if (!port || !num_bytes || (!buffer && *num_bytes)) {
        if (num_bytes) *num_bytes = 0;
        return CL_ERR_INVALID_REFERENCE;
    }
    const uint32_t wanted = *num_bytes;
    const uint32_t available = static_cast<uint32_t>(port->reply.size());
    const uint32_t count = wanted < available ? wanted : available;
    std::memcpy(buffer, port->reply.data(), count);
    port->reply.erase(0, count);
    *num_bytes = count;
    // Fewer bytes than asked for: the time-out, answered at once.
    return count == wanted ? CL_ERR_NO_ERR : CL_ERR_TIMEOUT;
}

int32_t CLSER_CALLTYPE clGetNumBytesAvail(void* serial_ref, uint32_t* num_bytes)
{
    Port* port = find_port(serial_ref);
    if (!port || !num_bytes) return CL_ERR_INVALID_REFERENCE;
    *num_bytes = static_cast<uint32_t>(port->reply.size());
    return CL_ERR_NO_ERR;
}

int32_t CLSER_CALLTYPE clSetBaudRate(void* serial_ref, uint32_t)
{
    return find_port(serial_ref) ? CL_ERR_NO_ERR : CL_ERR_INVALID_REFERENCE;
}

}  // extern "C"
