#include "driver/device_context.h"

uint32_t g_VideoFormat = 3;
OutputMode g_OutputMode = OUTMODE_RGB24_320x240;
uint32_t g_ImageSize = 230400;
uint32_t g_DeviceRemoved = 0;
