#include "serial_line.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace clsertty {

struct SerialLine::System {
    int fd = -1;
    // A pseudo-terminal's other end, held so the controlling end never sees
    // the line drop between two clients.
    int held_fd = -1;
    bool exclusive = false;

    ~System()
    {
        // The exclusive mark outlives the descriptor while anyone else holds
        // the device open (a simulator holding its end): take it back.
        if (exclusive) ioctl(fd, TIOCNXCL);
        if (fd >= 0) ::close(fd);
        if (held_fd >= 0) ::close(held_fd);
    }
};

namespace {

bool speed_for(uint32_t baud, speed_t& speed)
{
    struct Rate {
        uint32_t baud;
        speed_t speed;
    };
    static const Rate rates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {3000000, B3000000}, {4000000, B4000000},
    };
    for (const Rate& rate : rates) {
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    }
    return false;
}

// Raw bytes both ways. One byte makes a read ready, and a non-blocking read
// of no byte then answers EAGAIN, so a read of 0 bytes means only a hang-up.
bool make_raw(int fd, uint32_t baud)
{
    termios settings;
    if (tcgetattr(fd, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    speed_t speed;
    if (!speed_for(baud, speed)) return false;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) return false;
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

OpenFailure failure_of(int error)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR: return OpenFailure::missing;
    case EBUSY: return OpenFailure::busy;
    default: return OpenFailure::refused;
    }
}

// Waits for the descriptor; false on time-out. A line that has gone counts
// as ready, so the read or write that follows finds out at once.
bool wait_for(int fd, short events, uint32_t timeout_ms)
{
    pollfd entry = {fd, events, 0};
    const int wait = timeout_ms > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeout_ms);
    for (;;) {
        const int ready = poll(&entry, 1, wait);
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return true;
    }
}

bool transient(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

}  // namespace

SerialLine::SerialLine(std::unique_ptr<System> system) : system_(std::move(system)) {}

SerialLine::~SerialLine() = default;

std::unique_ptr<SerialLine> SerialLine::open(const std::string& device, uint32_t baud,
                                             OpenProblem& problem)
{
    std::unique_ptr<System> system(new System);
    // Non-blocking, so a port waiting for a carrier cannot hold up the open.
    system->fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (system->fd < 0) {
        problem.failure = failure_of(errno);
        problem.reason = std::strerror(errno);
        return nullptr;
    }
    if (!isatty(system->fd)) {
        problem.failure = OpenFailure::refused;
        problem.reason = "not a serial device";
        return nullptr;
    }
    // One program at a time talks to a camera.
    system->exclusive = ioctl(system->fd, TIOCEXCL) == 0;
    if (!make_raw(system->fd, baud)) {
        problem.failure = OpenFailure::refused;
        problem.reason = "the device does not take " + std::to_string(baud) + " baud, 8N1";
        return nullptr;
    }
    return std::unique_ptr<SerialLine>(new SerialLine(std::move(system)));
}

std::unique_ptr<SerialLine> SerialLine::open_pseudo_terminal(std::string& other_end,
                                                             std::string& reason)
{
    std::unique_ptr<System> system(new System);
    system->fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const char* name = nullptr;
    if (system->fd < 0 || grantpt(system->fd) != 0 || unlockpt(system->fd) != 0 ||
        !(name = ptsname(system->fd))) {
        reason = std::strerror(errno);
        return nullptr;
    }
    other_end = name;
    system->held_fd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    // Raw before any client comes: an echoing line would send every reply
    // back to its sender as a request.
    if (system->held_fd < 0 || !make_raw(system->held_fd, 9600)) {
        reason = std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<SerialLine>(new SerialLine(std::move(system)));
}

int32_t SerialLine::read(char* buffer, uint32_t size, uint32_t timeout_ms)
{
    if (size == 0) return 0;
    if (!wait_for(system_->fd, POLLIN, timeout_ms)) return 0;
    const size_t wanted = size > 0x7FFFFFFFu ? 0x7FFFFFFF : size;
    for (;;) {
        const ssize_t got = ::read(system_->fd, buffer, wanted);
        if (got > 0) return static_cast<int32_t>(got);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && transient(errno)) return 0;
        return -1;
    }
}

int32_t SerialLine::write(const char* buffer, uint32_t size, uint32_t timeout_ms)
{
    if (size == 0) return 0;
    if (!wait_for(system_->fd, POLLOUT, timeout_ms)) return 0;
    const size_t wanted = size > 0x7FFFFFFFu ? 0x7FFFFFFF : size;
    for (;;) {
        const ssize_t put = ::write(system_->fd, buffer, wanted);
        if (put >= 0) return static_cast<int32_t>(put);
        if (errno == EINTR) continue;
        return transient(errno) ? 0 : -1;
    }
}

bool SerialLine::bytes_available(uint32_t& count)
{
    int pending = 0;
    if (ioctl(system_->fd, FIONREAD, &pending) != 0 || pending < 0) return false;
    count = static_cast<uint32_t>(pending);
    return true;
}

bool SerialLine::discard_input() { return tcflush(system_->fd, TCIFLUSH) == 0; }

bool SerialLine::set_baud(uint32_t baud)
{
    termios settings;
    speed_t speed;
    if (!speed_for(baud, speed) || tcgetattr(system_->fd, &settings) != 0) return false;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) return false;
    return tcsetattr(system_->fd, TCSANOW, &settings) == 0;
}

}  // namespace clsertty
