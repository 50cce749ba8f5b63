// The per-camera record that the camera class library allocates for the driver
// and passes to every callback, and the state shared by the whole driver.
#pragma once

#include "platform/base_types.h"
#include "platform/usbd.h"

// "OVRL" in memory order.
constexpr uint32_t DEVICE_CONTEXT_SIGNATURE = 0x4C52564Fu;

struct DeviceContext {
    uint32_t signature;                          // CamConfigure
    USBD_INTERFACE_INFORMATION* interfaceInfo;   // the driver's copy of the camera interface
    uint32_t frameRate;                          // fps read from the camera, clamped; 0 if the read failed
    int64_t frameInterval;                       // granted interval in 100 ns units, 0 when none
    int32_t brightness;
    int32_t contrast;
    int32_t saturation;
    int32_t sharpness;
    int32_t whiteBalance;
    uint32_t badPacketCount;                     // faulty packets in the frame being collected
    uint8_t streamOpen;                          // 1 after an accepted open; cleared by CamInitialize
    uint8_t frameGood;                           // the last completed frame had no faulty packet
};

// The conversion every decoded frame gets; sent to the camera as its output mode.
enum OutputMode : uint32_t {
    OUTMODE_RGB24_320x240 = 1,
    OUTMODE_RGB24_640x480 = 2,
    OUTMODE_UYVY_320x240 = 3,
    OUTMODE_UYVY_OTHER = 4,
};

// Driver-wide state: one instance for the whole driver, shared by every camera.
extern uint32_t g_VideoFormat;   // format-set index; forced to 3 at driver entry
extern OutputMode g_OutputMode;  // set by the format check
extern uint32_t g_ImageSize;     // byte count reported for every delivered frame
extern uint32_t g_DeviceRemoved; // 1 between removal and the next stream close
