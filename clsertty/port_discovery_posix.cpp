#include "port_discovery.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace clsertty {

namespace {

const char* const families[] = {"ttyS", "ttyUSB", "ttyACM"};
constexpr int family_count = sizeof families / sizeof families[0];

struct Candidate {
    int family;
    unsigned long number;
    std::string name;
};

// "ttyUSB12" -> its family and 12; false for any other name.
bool parse_name(const char* name, Candidate& candidate)
{
    for (int family = 0; family < family_count; ++family) {
        const size_t length = std::strlen(families[family]);
        if (std::strncmp(name, families[family], length) != 0) continue;
        const char* digits = name + length;
        if (*digits == '\0' || std::strspn(digits, "0123456789") != std::strlen(digits)) continue;
        candidate.family = family;
        candidate.number = std::strtoul(digits, nullptr, 10);
        candidate.name = std::string("/dev/") + name;
        return true;
    }
    return false;
}

// A device node without hardware behind it (most ttyS) refuses to open. One
// that is busy is there all the same.
bool opens(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    termios settings;
    const bool serial = tcgetattr(fd, &settings) == 0;
    ::close(fd);
    return serial;
}

}  // namespace

std::vector<std::string> system_serial_ports()
{
    std::vector<Candidate> candidates;
    if (DIR* dev = opendir("/dev")) {
        while (dirent* entry = readdir(dev)) {
            Candidate candidate;
            if (parse_name(entry->d_name, candidate)) candidates.push_back(candidate);
        }
        closedir(dev);
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.family != b.family ? a.family < b.family : a.number < b.number;
    });
    std::vector<std::string> ports;
    for (const Candidate& candidate : candidates)
        if (opens(candidate.name)) ports.push_back(candidate.name);
    return ports;
}

}  // namespace clsertty
