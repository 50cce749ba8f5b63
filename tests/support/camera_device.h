// A device context as the class library would hand it to the packet callback:
// an interface copy with the sync pipe and the data pipe, and the capture
// buffers of a freshly loaded driver.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/device_context.h"

namespace testsupport {

class CameraDevice {
public:
    explicit CameraDevice(uint16_t dataMaxPacketSize = 1023);
    ~CameraDevice();
    CameraDevice(const CameraDevice&) = delete;
    CameraDevice& operator=(const CameraDevice&) = delete;

    DeviceContext* context() { return &context_; }
    uint16_t dataMaxPacketSize() const { return dataMaxPacketSize_; }

private:
    uint16_t dataMaxPacketSize_;
    std::vector<uint8_t> interfaceBytes_;
    DeviceContext context_{};
};

}  // namespace testsupport
