#include "correction/shading_gain.h"

#include <cmath>

uint16_t shading_gain(float value)
{
    const float scaled = value * static_cast<float>(shading_gain_scale);
    if (std::isnan(scaled) || scaled < 0.0f) return 0;
    if (scaled >= 65535.0f) return 65535;
    return static_cast<uint16_t>(static_cast<int32_t>(scaled));
}
