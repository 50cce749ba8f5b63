// USB driver interface structures the camera driver reads and changes.
#pragma once

#include "platform/base_types.h"
#include "platform/ntstatus.h"

typedef LONG USBD_STATUS;  // negative: the transfer of this packet failed

// One packet of an isochronous transfer: where it lies in the transfer buffer,
// how many bytes arrived, and how it ended.
struct USBD_ISO_PACKET_DESCRIPTOR {
    ULONG Offset;
    ULONG Length;
    USBD_STATUS Status;
};
static_assert(sizeof(USBD_ISO_PACKET_DESCRIPTOR) == 12, "iso packet descriptor is 12 bytes");

enum USBD_PIPE_TYPE : int32_t {
    UsbdPipeTypeControl = 0,
    UsbdPipeTypeIsochronous = 1,
    UsbdPipeTypeBulk = 2,
    UsbdPipeTypeInterrupt = 3,
};

typedef PVOID USBD_PIPE_HANDLE;
typedef PVOID USBD_INTERFACE_HANDLE;

struct USBD_PIPE_INFORMATION {
    USHORT MaximumPacketSize;
    UCHAR EndpointAddress;
    UCHAR Interval;
    USBD_PIPE_TYPE PipeType;
    USBD_PIPE_HANDLE PipeHandle;
    ULONG MaximumTransferSize;
    ULONG PipeFlags;
};

// Variable-length: Length covers the header and NumberOfPipes entries of Pipes.
struct USBD_INTERFACE_INFORMATION {
    USHORT Length;
    UCHAR InterfaceNumber;
    UCHAR AlternateSetting;
    UCHAR Class;
    UCHAR SubClass;
    UCHAR Protocol;
    UCHAR Reserved;
    USBD_INTERFACE_HANDLE InterfaceHandle;
    ULONG NumberOfPipes;
    USBD_PIPE_INFORMATION Pipes[1];
};

static_assert(offsetof(USBD_PIPE_INFORMATION, MaximumPacketSize) == 0, "pipe layout");
static_assert(offsetof(USBD_PIPE_INFORMATION, PipeType) == 4, "pipe layout");
static_assert(offsetof(USBD_PIPE_INFORMATION, PipeHandle) == 8, "pipe layout");
static_assert(sizeof(USBD_PIPE_INFORMATION) == (sizeof(void*) == 8 ? 24 : 20), "pipe layout");
static_assert(offsetof(USBD_INTERFACE_INFORMATION, InterfaceHandle) == 8, "interface layout");
static_assert(offsetof(USBD_INTERFACE_INFORMATION, Pipes) == (sizeof(void*) == 8 ? 24 : 16), "interface layout");

// Size of an interface description with n pipes.
constexpr SIZE_T UsbdInterfaceInformationSize(ULONG pipes)
{
    return sizeof(USBD_INTERFACE_INFORMATION) + (pipes - 1) * sizeof(USBD_PIPE_INFORMATION);
}
