#include "host/driver_image.h"

#include "capture/capture_buffers.h"
#include "driver/device_context.h"

namespace host {

void ReloadDriverImage()
{
    FreeCaptureBuffers();
    g_FillOffsetA = g_FillOffsetB = 0;
    g_FillingA = g_FillingB = 0;
    g_VideoFormat = 3;
    g_OutputMode = OUTMODE_RGB24_320x240;
    g_ImageSize = 230400;
    g_DeviceRemoved = 0;
}

}  // namespace host
