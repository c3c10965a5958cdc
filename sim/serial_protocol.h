// The camera's side of the register text protocol on a serial line:
//   "rV<address>"         -> the value in upper-case hexadecimal
//   "V<address>,<value>"  -> "OK"
// and "ERROR ..." where the camera refuses, one reply line each. The
// Camera Link serial library and the camera on a real serial line both
// answer through it.
#pragma once

#include <string>

#include "camera_model.h"
#include "sim_config.h"

namespace camsim {

// Collects the characters of one request up to its line feed.
class RequestLine {
public:
    // True when c ends a line; line is then the request without CR LF.
    bool take(char c, std::string& line);
    void clear() { text_.clear(); }

    // A line that never ends is not kept without bound.
    static constexpr size_t max_length = 256;

private:
    std::string text_;
};

// The camera's reply to one request line, without CR LF; false when the
// camera stays silent (a silent register).
bool answer_request(const std::string& request, const SimConfig& config, CameraModel& camera,
                    std::string& reply);

}  // namespace camsim
