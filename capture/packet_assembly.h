// Reassembly of the compressed picture from the camera's isochronous packet pairs.
#pragma once

#include "platform/kernel_objects.h"
#include "platform/usbd.h"

// Sync packet header: flags, record marker, 16-bit big-endian record offset.
constexpr uint8_t SYNC_FLAG_START_OF_FRAME = 0x80;
constexpr uint8_t SYNC_FLAG_IGNORE_MASK = 0x03;
constexpr uint8_t SYNC_MARKER_A = 0xBA;
constexpr uint8_t SYNC_MARKER_B = 0xBB;

// Copies one pair's record into the fill buffer at its fill offset.
void AppendSideRecord(const uint8_t* syncBytes, const uint8_t* dataBytes);

// The class library's packet callback: called once per sync/data packet pair.
// Returns the data packet's byte count to keep (the data pipe's MaximumPacketSize) or 0.
ULONG CamProcessUSBPacket(PDEVICE_OBJECT BusDeviceObject, PVOID DeviceContext, PVOID CurrentFrameContext,
                          USBD_ISO_PACKET_DESCRIPTOR* SyncPacket, PVOID SyncBuffer,
                          USBD_ISO_PACKET_DESCRIPTOR* DataPacket, PVOID DataBuffer, PBOOLEAN FrameIsComplete,
                          PBOOLEAN NextFrameIsStill);
