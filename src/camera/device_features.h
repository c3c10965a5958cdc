// A GenTL device's features as its own GenApi description defines them: the
// description fetched through the device's port and resolved to its
// registers there.
#pragma once

#include <memory>
#include <string>

#include "camera/frame_stream.h"
#include "camera/gentl_device.h"

// Null with a one-line reason in `error` when the description cannot be
// found, read or parsed. The device outlives the features.
std::unique_ptr<CameraFeatures> read_device_features(const GenTLDevice& device, std::string& error);
