#include "serial_line.h"

#include <windows.h>

namespace clsertty {

struct SerialLine::System {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // The time-outs last given to the port; set again only when they change.
    COMMTIMEOUTS timeouts = {};
    bool timeouts_known = false;

    ~System()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};

namespace {

std::string system_message(DWORD error)
{
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text - 1, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : message;
}

OpenFailure failure_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH: return OpenFailure::missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return OpenFailure::busy;
    default: return OpenFailure::refused;
    }
}

// COM10 and above open only through the device namespace; a name with a
// path in it (\\.\COM3, a file) is taken as it stands.
std::string device_path(const std::string& device)
{
    if (device.find_first_of("\\/") != std::string::npos) return device;
    return "\\\\.\\" + device;
}

bool apply_settings(HANDLE handle, uint32_t baud)
{
    DCB settings = {};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle, &settings)) return false;
    settings.BaudRate = baud;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fDsrSensitivity = FALSE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fNull = FALSE;
    settings.fAbortOnError = FALSE;
    return SetCommState(handle, &settings) != 0;
}

bool same(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b)
{
    return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
           a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
           a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
           a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
           a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

bool use_timeouts(SerialLine::System& system, const COMMTIMEOUTS& wanted)
{
    if (system.timeouts_known && same(system.timeouts, wanted)) return true;
    COMMTIMEOUTS copy = wanted;
    if (!SetCommTimeouts(system.handle, &copy)) return false;
    system.timeouts = wanted;
    system.timeouts_known = true;
    return true;
}

// A read that answers as soon as one byte is there, or after timeout_ms; the
// documented combination of the three read time-outs. For no wait at all,
// the interval alone.
COMMTIMEOUTS read_timeouts(uint32_t timeout_ms)
{
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (timeout_ms > 0) {
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = timeout_ms < MAXDWORD ? timeout_ms : MAXDWORD - 1;
    }
    return timeouts;
}

// A total write time-out of 0 would mean none at all: the least is 1 ms.
COMMTIMEOUTS write_timeouts(uint32_t timeout_ms)
{
    COMMTIMEOUTS timeouts = read_timeouts(0);
    timeouts.WriteTotalTimeoutConstant = timeout_ms > 0 ? timeout_ms : 1;
    return timeouts;
}

}  // namespace

SerialLine::SerialLine(std::unique_ptr<System> system) : system_(std::move(system)) {}

SerialLine::~SerialLine() = default;

std::unique_ptr<SerialLine> SerialLine::open(const std::string& device, uint32_t baud,
                                             OpenProblem& problem)
{
    std::unique_ptr<System> system(new System);
    // No sharing: one program at a time talks to a camera.
    system->handle = CreateFileA(device_path(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (system->handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        problem.failure = failure_of(error);
        problem.reason = system_message(error);
        return nullptr;
    }
    DCB current = {};
    current.DCBlength = sizeof current;
    if (!GetCommState(system->handle, &current)) {
        problem.failure = OpenFailure::refused;
        problem.reason = "not a serial device";
        return nullptr;
    }
    if (!apply_settings(system->handle, baud)) {
        problem.failure = OpenFailure::refused;
        problem.reason = "the device does not take " + std::to_string(baud) + " baud, 8N1";
        return nullptr;
    }
    return std::unique_ptr<SerialLine>(new SerialLine(std::move(system)));
}

std::unique_ptr<SerialLine> SerialLine::open_pseudo_terminal(std::string&, std::string& reason)
{
    reason = "this system has no pseudo-terminals; open a COM port instead";
    return nullptr;
}

int32_t SerialLine::read(char* buffer, uint32_t size, uint32_t timeout_ms)
{
    if (size == 0) return 0;
    if (!use_timeouts(*system_, read_timeouts(timeout_ms))) return -1;
    DWORD got = 0;
    if (!ReadFile(system_->handle, buffer, size, &got, nullptr)) return -1;
    return static_cast<int32_t>(got);
}

int32_t SerialLine::write(const char* buffer, uint32_t size, uint32_t timeout_ms)
{
    if (size == 0) return 0;
    if (!use_timeouts(*system_, write_timeouts(timeout_ms))) return -1;
    DWORD put = 0;
    if (!WriteFile(system_->handle, buffer, size, &put, nullptr)) {
        // Time-out of a write: what went is counted, the line is still there.
        return GetLastError() == ERROR_TIMEOUT || put > 0 ? static_cast<int32_t>(put) : -1;
    }
    return static_cast<int32_t>(put);
}

bool SerialLine::bytes_available(uint32_t& count)
{
    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(system_->handle, &errors, &status)) return false;
    count = status.cbInQue;
    return true;
}

bool SerialLine::discard_input()
{
    return PurgeComm(system_->handle, PURGE_RXABORT | PURGE_RXCLEAR) != 0;
}

bool SerialLine::set_baud(uint32_t baud) { return apply_settings(system_->handle, baud); }

}  // namespace clsertty
