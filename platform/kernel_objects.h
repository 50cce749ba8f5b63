// Kernel objects the driver receives and passes on without looking inside.
#pragma once

#include "platform/base_types.h"

struct DEVICE_OBJECT;
struct DRIVER_OBJECT;
typedef DEVICE_OBJECT* PDEVICE_OBJECT;
typedef DRIVER_OBJECT* PDRIVER_OBJECT;

// Counted wide string; Length and MaximumLength are in bytes.
struct UNICODE_STRING {
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};
typedef UNICODE_STRING* PUNICODE_STRING;
