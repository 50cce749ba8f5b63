// The USBCAMD camera class library: the callback table the driver hands it and
// the services the driver calls. The library owns the USB transfers, the frame
// buffers and the device context, and calls the driver back through the table.
#pragma once

#include "platform/base_types.h"
#include "platform/kernel_objects.h"
#include "platform/ntstatus.h"
#include "platform/stream_class.h"
#include "platform/usbd.h"

struct USB_CONFIGURATION_DESCRIPTOR;

// Slots taking only the bus device object and the device context
// (initialise, uninitialise, start and stop capture, save and restore state, free bandwidth).
typedef NTSTATUS (*PCAM_DEVICE_ROUTINE)(PDEVICE_OBJECT BusDeviceObject, PVOID DeviceContext);

// Once per sync/data packet pair; returns the data packet's bytes to keep.
typedef ULONG (*PCAM_PROCESS_PACKET_ROUTINE)(PDEVICE_OBJECT BusDeviceObject, PVOID DeviceContext,
                                             PVOID CurrentFrameContext, USBD_ISO_PACKET_DESCRIPTOR* SyncPacket,
                                             PVOID SyncBuffer, USBD_ISO_PACKET_DESCRIPTOR* DataPacket,
                                             PVOID DataBuffer, PBOOLEAN FrameIsComplete,
                                             PBOOLEAN NextFrameIsStill);

typedef void (*PCAM_NEW_FRAME_ROUTINE)(PVOID DeviceContext, PVOID FrameContext);

// Once per completed frame; *BytesReturned is the byte count delivered.
typedef NTSTATUS (*PCAM_PROCESS_RAW_FRAME_ROUTINE)(PDEVICE_OBJECT BusDeviceObject, PVOID DeviceContext,
                                                   PVOID FrameContext, PVOID FrameBuffer, ULONG FrameLength,
                                                   PVOID RawFrameBuffer, ULONG RawFrameLength,
                                                   ULONG NumberOfPackets, PULONG BytesReturned);

// Interface is the description about to be selected; the driver may change it and
// fills in which of its pipes carry data and sync.
typedef NTSTATUS (*PCAM_CONFIGURE_ROUTINE)(PDEVICE_OBJECT BusDeviceObject, PVOID DeviceContext,
                                           USBD_INTERFACE_INFORMATION* Interface,
                                           USB_CONFIGURATION_DESCRIPTOR* ConfigurationDescriptor,
                                           PLONG DataPipeIndex, PLONG SyncPipeIndex);

// Format is the stream's format as opened (a KS_DATAFORMAT_VIDEOINFOHEADER here);
// *RawFrameLength is the raw frame buffer the library is to provide.
typedef NTSTATUS (*PCAM_ALLOCATE_BW_ROUTINE)(PDEVICE_OBJECT BusDeviceObject, PVOID DeviceContext,
                                             PULONG RawFrameLength, PVOID Format);

struct USBCAMD_DEVICE_DATA {
    ULONG Reserved1;  // 0
    PCAM_DEVICE_ROUTINE CamInitialize;
    PCAM_DEVICE_ROUTINE CamUnInitialize;
    PCAM_PROCESS_PACKET_ROUTINE CamProcessUSBPacket;
    PCAM_NEW_FRAME_ROUTINE CamNewVideoFrame;
    PCAM_PROCESS_RAW_FRAME_ROUTINE CamProcessRawVideoFrame;
    PCAM_DEVICE_ROUTINE CamStartCapture;
    PCAM_DEVICE_ROUTINE CamStopCapture;
    PCAM_CONFIGURE_ROUTINE CamConfigure;
    PCAM_DEVICE_ROUTINE CamSaveState;
    PCAM_DEVICE_ROUTINE CamRestoreState;
    PCAM_ALLOCATE_BW_ROUTINE CamAllocateBandwidth;
    PCAM_DEVICE_ROUTINE CamFreeBandwidth;
};

static_assert(offsetof(USBCAMD_DEVICE_DATA, CamInitialize) == sizeof(PVOID), "the first slot follows the 32-bit word");
static_assert(offsetof(USBCAMD_DEVICE_DATA, CamFreeBandwidth) == 12 * sizeof(PVOID), "twelve slots in order");
static_assert(sizeof(USBCAMD_DEVICE_DATA) == 13 * sizeof(PVOID), "twelve slots in order");

// Every adapter request reaches the driver through this routine.
typedef void (*PADAPTER_RECEIVE_PACKET_ROUTINE)(HW_STREAM_REQUEST_BLOCK* Srb);

// Called when an asynchronous vendor command ends; the driver passes none.
typedef NTSTATUS (*PCOMMAND_COMPLETE_FUNCTION)(PVOID DeviceContext, PVOID CommandContext, NTSTATUS Status);

extern "C" {

// Registers the driver: the library allocates a device context of DeviceContextSize
// bytes per camera and a frame context of FrameContextSize bytes per frame.
NTSTATUS USBCAMD_DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath, ULONG DeviceContextSize,
                             ULONG FrameContextSize, PADAPTER_RECEIVE_PACKET_ROUTINE ReceivePacket);

// Returns the device context of the request's device. NeedsCompletion TRUE: the
// library carries out and completes the request, which the caller must not touch
// again. FALSE: it does neither. DeviceObject may be null.
PVOID USBCAMD_AdapterReceivePacket(HW_STREAM_REQUEST_BLOCK* Srb, const USBCAMD_DEVICE_DATA* DeviceData,
                                   PDEVICE_OBJECT* DeviceObject, BOOLEAN NeedsCompletion);

// A vendor control request. Without a completion routine it has finished on return;
// for a read (GetData TRUE) the data is in Buffer and *BufferLength is updated.
NTSTATUS USBCAMD_ControlVendorCommand(PVOID DeviceContext, UCHAR Request, USHORT Value, USHORT Index, PVOID Buffer,
                                      PULONG BufferLength, BOOLEAN GetData,
                                      PCOMMAND_COMPLETE_FUNCTION CommandComplete, PVOID CommandContext);

// Selects Interface->AlternateSetting. On success the pipe information in
// Interface describes the new setting.
NTSTATUS USBCAMD_SelectAlternateInterface(PVOID DeviceContext, USBD_INTERFACE_INFORMATION* Interface);

}  // extern "C"
