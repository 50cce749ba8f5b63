// Stream class driver: the request block it hands the driver, the stream and
// stream-information records, and the notification that completes a request.
#pragma once

#include "platform/base_types.h"
#include "platform/kernel_objects.h"
#include "platform/ks.h"
#include "platform/ntstatus.h"

// Request codes. Below 0x100 they address a stream, from 0x100 on the adapter.
enum SRB_COMMAND : int32_t {
    SRB_READ_DATA = 0,
    SRB_WRITE_DATA = 1,
    SRB_GET_STREAM_STATE = 2,
    SRB_SET_STREAM_STATE = 3,
    SRB_SET_STREAM_PROPERTY = 4,
    SRB_GET_STREAM_PROPERTY = 5,
    SRB_PROPOSE_DATA_FORMAT = 10,
    SRB_SET_DATA_FORMAT = 13,
    SRB_GET_DATA_FORMAT = 14,

    SRB_GET_STREAM_INFO = 0x100,
    SRB_OPEN_STREAM = 0x101,
    SRB_CLOSE_STREAM = 0x102,
    SRB_OPEN_DEVICE_INSTANCE = 0x103,
    SRB_CLOSE_DEVICE_INSTANCE = 0x104,
    SRB_GET_DEVICE_PROPERTY = 0x105,
    SRB_SET_DEVICE_PROPERTY = 0x106,
    SRB_INITIALIZE_DEVICE = 0x107,
    SRB_CHANGE_POWER_STATE = 0x108,
    SRB_UNINITIALIZE_DEVICE = 0x109,
    SRB_UNKNOWN_DEVICE_COMMAND = 0x10A,
    SRB_PAGING_OUT_DRIVER = 0x10B,
    SRB_GET_DATA_INTERSECTION = 0x10C,
    SRB_INITIALIZATION_COMPLETE = 0x10D,
    SRB_SURPRISE_REMOVAL = 0x10E,
};

struct HW_STREAM_REQUEST_BLOCK;
struct HW_STREAM_DESCRIPTOR;

// A property request: Property names set and id, PropertyInfo is the data buffer.
struct STREAM_PROPERTY_DESCRIPTOR {
    PKSPROPERTY Property;
    ULONG PropertySetID;  // index of the set in the table the driver published
    PVOID PropertyInfo;
    ULONG PropertyInputSize;
    ULONG PropertyOutputSize;
};

// A data intersection: the range a client proposes and where the format is to go.
// A 4-byte buffer asks only for the format's size.
struct STREAM_DATA_INTERSECT_INFO {
    ULONG StreamNumber;
    PKSDATARANGE DataRange;
    PVOID DataFormatBuffer;
    ULONG SizeOfDataFormatBuffer;
};

// Stream routines the driver installs at open. The camera class library calls them
// with its device context and a flag the routine sets TRUE when it has dealt with
// the request itself, so they take both besides the request.
typedef void (*PHW_RECEIVE_STREAM_SRB)(HW_STREAM_REQUEST_BLOCK* Srb, PVOID DeviceContext, PBOOLEAN Completed);

struct HW_STREAM_OBJECT {
    ULONG SizeOfThisPacket;
    ULONG StreamNumber;
    PVOID HwStreamExtension;
    PHW_RECEIVE_STREAM_SRB ReceiveDataPacket;
    PHW_RECEIVE_STREAM_SRB ReceiveControlPacket;
    BOOLEAN Dma;
    BOOLEAN Pio;
    PVOID HwDeviceExtension;
};

struct HW_STREAM_REQUEST_BLOCK {
    ULONG SizeOfThisPacket;
    SRB_COMMAND Command;
    NTSTATUS Status;
    HW_STREAM_OBJECT* StreamObject;  // null for adapter requests other than open and close
    PVOID HwDeviceExtension;
    PVOID SRBExtension;
    union {
        PKSSTREAM_HEADER DataBufferArray;          // read and write data
        HW_STREAM_DESCRIPTOR* StreamBuffer;        // SRB_GET_STREAM_INFO
        KSSTATE StreamState;                       // stream state requests
        STREAM_PROPERTY_DESCRIPTOR* PropertyInfo;  // property requests
        PKSDATAFORMAT OpenFormat;                  // open and the data-format requests
        STREAM_DATA_INTERSECT_INFO* IntersectInfo; // SRB_GET_DATA_INTERSECTION
    } CommandData;
    ULONG NumberOfBuffers;
    ULONG Flags;
    PVOID HwInstanceExtension;
    ULONG ActualBytesTransferred;
};
typedef HW_STREAM_REQUEST_BLOCK* PHW_STREAM_REQUEST_BLOCK;

struct HW_STREAM_INFORMATION {
    ULONG NumberOfPossibleInstances;
    KSPIN_DATAFLOW DataFlow;
    BOOLEAN DataAccessible;
    ULONG NumberOfFormatArrayEntries;
    const KSDATARANGE* const* StreamFormatsArray;
    ULONG NumStreamPropArrayEntries;
    const KSPROPERTY_SET* StreamPropertiesArray;
    const GUID* Category;
    const GUID* Name;
};

struct HW_STREAM_HEADER {
    ULONG NumberOfStreams;
    ULONG SizeOfHwStreamInformation;
    ULONG NumDevPropArrayEntries;
    const KSPROPERTY_SET* DevicePropertiesArray;
    ULONG NumDevEventArrayEntries;
    PVOID DeviceEventsArray;
};

// The stream-information answer: the header, then one record per stream.
struct HW_STREAM_DESCRIPTOR {
    HW_STREAM_HEADER StreamHeader;
    HW_STREAM_INFORMATION StreamInfo[1];
};

static_assert(offsetof(HW_STREAM_DESCRIPTOR, StreamInfo) == sizeof(HW_STREAM_HEADER),
              "stream information follows the header directly");
static_assert(sizeof(HW_STREAM_REQUEST_BLOCK::CommandData) == sizeof(PVOID), "command data is one pointer wide");

enum STREAM_MINIDRIVER_DEVICE_NOTIFICATION_TYPE : int32_t {
    ReadyForNextDeviceRequest = 0,
    DeviceRequestComplete = 1,
};

// Completes a request with the Status and ActualBytesTransferred it carries.
// HwDeviceExtension is the request's own.
extern "C" void StreamClassDeviceNotification(STREAM_MINIDRIVER_DEVICE_NOTIFICATION_TYPE NotificationType,
                                              PVOID HwDeviceExtension, HW_STREAM_REQUEST_BLOCK* Srb);
