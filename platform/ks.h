// Kernel-streaming structures, property ids and GUIDs the driver exchanges with
// the stream class. Layouts are fixed by the platform; the checks at the end hold
// on 32-bit and 64-bit targets alike.
#pragma once

#include "platform/base_types.h"
#include "platform/ntstatus.h"

typedef LONGLONG REFERENCE_TIME;  // 100 ns units

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct SIZE {
    LONG cx;
    LONG cy;
};

// ---------------------------------------------------------------------------
// Data formats and ranges

// Header of every data format and data range. The platform aligns it to 8 bytes.
struct alignas(8) KSDATAFORMAT {
    ULONG FormatSize;  // bytes of the whole format or range, this header included
    ULONG Flags;
    ULONG SampleSize;
    ULONG Reserved;
    GUID MajorFormat;
    GUID SubFormat;
    GUID Specifier;
};
typedef KSDATAFORMAT* PKSDATAFORMAT;
typedef KSDATAFORMAT KSDATARANGE;
typedef KSDATARANGE* PKSDATARANGE;

struct KS_BITMAPINFOHEADER {
    ULONG biSize;
    LONG biWidth;
    LONG biHeight;  // negative: top-down
    USHORT biPlanes;
    USHORT biBitCount;
    ULONG biCompression;
    ULONG biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    ULONG biClrUsed;
    ULONG biClrImportant;
};

// The bitmap header closes the record; a larger biSize means more bytes follow it.
struct KS_VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    ULONG dwBitRate;
    ULONG dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    KS_BITMAPINFOHEADER bmiHeader;
};

constexpr SIZE_T KS_VIDEOINFOHEADER_FIXED_SIZE = 48;  // the bytes before bmiHeader

struct KS_VIDEO_STREAM_CONFIG_CAPS {
    GUID guid;
    ULONG VideoStandard;
    SIZE InputSize;
    SIZE MinCroppingSize;
    SIZE MaxCroppingSize;
    LONG CropGranularityX;
    LONG CropGranularityY;
    LONG CropAlignX;
    LONG CropAlignY;
    SIZE MinOutputSize;
    SIZE MaxOutputSize;
    LONG OutputGranularityX;
    LONG OutputGranularityY;
    LONG StretchTapsX;
    LONG StretchTapsY;
    LONG ShrinkTapsX;
    LONG ShrinkTapsY;
    // Always 0. Named, so the 128 bytes compared during intersection never hold padding.
    ULONG Reserved;
    LONGLONG MinFrameInterval;
    LONGLONG MaxFrameInterval;
    LONG MinBitsPerSecond;
    LONG MaxBitsPerSecond;
};

struct KS_DATARANGE_VIDEO {
    KSDATARANGE DataRange;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG StreamDescriptionFlags;
    ULONG MemoryAllocationFlags;
    KS_VIDEO_STREAM_CONFIG_CAPS ConfigCaps;
    KS_VIDEOINFOHEADER VideoInfoHeader;
};

struct KS_DATAFORMAT_VIDEOINFOHEADER {
    KSDATAFORMAT DataFormat;
    KS_VIDEOINFOHEADER VideoInfoHeader;
};

constexpr ULONG KS_VIDEOSTREAM_CAPTURE = 2;  // StreamDescriptionFlags

// ---------------------------------------------------------------------------
// Streaming

enum KSSTATE : int32_t {
    KSSTATE_STOP = 0,
    KSSTATE_ACQUIRE = 1,
    KSSTATE_PAUSE = 2,
    KSSTATE_RUN = 3,
};

enum KSPIN_DATAFLOW : int32_t {
    KSPIN_DATAFLOW_IN = 1,
    KSPIN_DATAFLOW_OUT = 2,
};

struct KSTIME {
    LONGLONG Time;
    ULONG Numerator;
    ULONG Denominator;
};

// Describes one buffer of a data request.
struct KSSTREAM_HEADER {
    ULONG Size;
    ULONG TypeSpecificFlags;
    KSTIME PresentationTime;
    LONGLONG Duration;
    ULONG FrameExtent;  // bytes the buffer can hold
    ULONG DataUsed;     // bytes filled
    PVOID Data;
    ULONG OptionsFlags;
};
typedef KSSTREAM_HEADER* PKSSTREAM_HEADER;

// ---------------------------------------------------------------------------
// Properties

// Names a property (or any item) of a set. The platform aligns it to 8 bytes.
struct alignas(8) KSIDENTIFIER {
    GUID Set;
    ULONG Id;
    ULONG Flags;
};
typedef KSIDENTIFIER KSPROPERTY;
typedef KSPROPERTY* PKSPROPERTY;

constexpr ULONG KSPROPERTY_TYPE_GET = 0x00000001;
constexpr ULONG KSPROPERTY_TYPE_SET = 0x00000002;
constexpr ULONG KSPROPERTY_TYPE_BASICSUPPORT = 0x00000200;

// Header of a variable-length property answer: Size counts the items only.
struct KSMULTIPLE_ITEM {
    ULONG Size;
    ULONG Count;
};

struct KSPROPERTY_BOUNDS_LONG {
    LONG SignedMinimum;
    LONG SignedMaximum;
};

struct KSPROPERTY_STEPPING_LONG {
    ULONG SteppingDelta;
    ULONG Reserved;
    KSPROPERTY_BOUNDS_LONG Bounds;
};

struct KSPROPERTY_MEMBERSHEADER {
    ULONG MembersFlags;  // KSPROPERTY_MEMBER_*
    ULONG MembersSize;   // bytes of one member
    ULONG MembersCount;
    ULONG Flags;         // KSPROPERTY_MEMBER_FLAG_*
};

constexpr ULONG KSPROPERTY_MEMBER_RANGES = 0x00000001;
constexpr ULONG KSPROPERTY_MEMBER_STEPPEDRANGES = 0x00000002;
constexpr ULONG KSPROPERTY_MEMBER_VALUES = 0x00000003;
constexpr ULONG KSPROPERTY_MEMBER_FLAG_DEFAULT = 0x00000001;

struct KSPROPERTY_MEMBERSLIST {
    KSPROPERTY_MEMBERSHEADER MembersHeader;
    const void* Members;
};

struct KSPROPERTY_VALUES {
    KSIDENTIFIER PropTypeSet;  // KSPROPTYPESETID_General with a VT_ type id
    ULONG MembersListCount;
    const KSPROPERTY_MEMBERSLIST* MembersList;
};

constexpr ULONG VT_I4 = 3;

// Basic-support answer header, followed by the member lists.
struct KSPROPERTY_DESCRIPTION {
    ULONG AccessFlags;      // KSPROPERTY_TYPE_GET / _SET
    ULONG DescriptionSize;  // this header and every member list after it
    KSIDENTIFIER PropTypeSet;
    ULONG MembersListCount;
    ULONG Reserved;
};

struct IRP;
typedef NTSTATUS (*PFNKSHANDLER)(IRP* Irp, KSIDENTIFIER* Request, PVOID Data);

// A property of a set. A handler slot that is not a routine holds only the flag
// saying whether the stream class should pass gets or sets to the driver.
struct KSPROPERTY_ITEM {
    ULONG PropertyId;
    union {
        PFNKSHANDLER GetPropertyHandler;
        BOOLEAN GetSupported;
    };
    ULONG MinProperty;  // bytes of the property request
    ULONG MinData;      // bytes of the data buffer
    union {
        PFNKSHANDLER SetPropertyHandler;
        BOOLEAN SetSupported;
    };
    const KSPROPERTY_VALUES* Values;
    ULONG RelationsCount;
    const KSPROPERTY* Relations;
    PFNKSHANDLER SupportHandler;
    ULONG SerializedSize;
};

struct KSFASTPROPERTY_ITEM;

struct KSPROPERTY_SET {
    const GUID* Set;
    ULONG PropertiesCount;
    const KSPROPERTY_ITEM* PropertyItem;
    ULONG FastIoCount;
    const KSFASTPROPERTY_ITEM* FastIoTable;
};

// Video processing amplifier (PROPSETID_VIDCAP_VIDEOPROCAMP).
enum KSPROPERTY_VIDCAP_VIDEOPROCAMP : uint32_t {
    KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS = 0,
    KSPROPERTY_VIDEOPROCAMP_CONTRAST = 1,
    KSPROPERTY_VIDEOPROCAMP_HUE = 2,
    KSPROPERTY_VIDEOPROCAMP_SATURATION = 3,
    KSPROPERTY_VIDEOPROCAMP_SHARPNESS = 4,
    KSPROPERTY_VIDEOPROCAMP_GAMMA = 5,
    KSPROPERTY_VIDEOPROCAMP_WHITEBALANCE = 7,
};

constexpr ULONG KSPROPERTY_VIDEOPROCAMP_FLAGS_AUTO = 0x0001;
constexpr ULONG KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL = 0x0002;

struct KSPROPERTY_VIDEOPROCAMP_S {
    KSPROPERTY Property;
    LONG Value;
    ULONG Flags;
    ULONG Capabilities;
};

// Video control (PROPSETID_VIDCAP_VIDEOCONTROL).
enum KSPROPERTY_VIDCAP_VIDEOCONTROL : uint32_t {
    KSPROPERTY_VIDEOCONTROL_ACTUAL_FRAME_RATE = 1,
    KSPROPERTY_VIDEOCONTROL_FRAME_RATES = 2,
};

struct KSPROPERTY_VIDEOCONTROL_ACTUAL_FRAME_RATE_S {
    KSPROPERTY Property;
    ULONG StreamIndex;
    ULONG RangeIndex;
    SIZE Dimensions;
    LONGLONG CurrentActualFrameRate;        // 100 ns units
    LONGLONG CurrentMaxAvailableFrameRate;  // 100 ns units
};

// The frame-rates request; the answer is a KSMULTIPLE_ITEM followed by the intervals.
struct KSPROPERTY_VIDEOCONTROL_FRAME_RATES_S {
    KSPROPERTY Property;
    ULONG StreamIndex;
    ULONG RangeIndex;
    SIZE Dimensions;
};

// ---------------------------------------------------------------------------
// GUIDs (values in platform/ks_guids.cpp)

extern const GUID KSDATAFORMAT_TYPE_VIDEO;
extern const GUID KSDATAFORMAT_SPECIFIER_VIDEOINFO;
extern const GUID KSDATAFORMAT_SUBTYPE_RGB24;
extern const GUID KSDATAFORMAT_SUBTYPE_UYVY;
extern const GUID PROPSETID_VIDCAP_VIDEOPROCAMP;
extern const GUID PROPSETID_VIDCAP_VIDEOCONTROL;
extern const GUID KSPROPTYPESETID_General;

// Four characters in memory order, as biCompression and FOURCC subtypes hold them.
constexpr ULONG MakeFourCC(char a, char b, char c, char d)
{
    return static_cast<ULONG>(static_cast<UCHAR>(a)) | (static_cast<ULONG>(static_cast<UCHAR>(b)) << 8) |
           (static_cast<ULONG>(static_cast<UCHAR>(c)) << 16) | (static_cast<ULONG>(static_cast<UCHAR>(d)) << 24);
}

constexpr ULONG KS_BI_RGB_FOURCC = MakeFourCC('R', 'G', 'B', ' ');
constexpr ULONG KS_BI_UYVY_FOURCC = MakeFourCC('U', 'Y', 'V', 'Y');
static_assert(KS_BI_RGB_FOURCC == 0x20424752u, "\"RGB \" in memory order");
static_assert(KS_BI_UYVY_FOURCC == 0x59565955u, "\"UYVY\" in memory order");

// ---------------------------------------------------------------------------
// Layout checks

static_assert(sizeof(RECT) == 16 && sizeof(SIZE) == 8, "RECT, SIZE");

static_assert(sizeof(KSDATAFORMAT) == 64 && alignof(KSDATAFORMAT) == 8, "KSDATAFORMAT is 64 bytes, 8-aligned");
static_assert(offsetof(KSDATAFORMAT, SampleSize) == 8, "KSDATAFORMAT layout");
static_assert(offsetof(KSDATAFORMAT, MajorFormat) == 16, "KSDATAFORMAT layout");
static_assert(offsetof(KSDATAFORMAT, SubFormat) == 32, "KSDATAFORMAT layout");
static_assert(offsetof(KSDATAFORMAT, Specifier) == 48, "KSDATAFORMAT layout");

static_assert(sizeof(KS_BITMAPINFOHEADER) == 40, "KS_BITMAPINFOHEADER is 40 bytes");
static_assert(offsetof(KS_BITMAPINFOHEADER, biPlanes) == 12, "KS_BITMAPINFOHEADER layout");
static_assert(offsetof(KS_BITMAPINFOHEADER, biCompression) == 16, "KS_BITMAPINFOHEADER layout");
static_assert(offsetof(KS_BITMAPINFOHEADER, biSizeImage) == 20, "KS_BITMAPINFOHEADER layout");

static_assert(offsetof(KS_VIDEOINFOHEADER, dwBitRate) == 32, "KS_VIDEOINFOHEADER layout");
static_assert(offsetof(KS_VIDEOINFOHEADER, AvgTimePerFrame) == 40, "KS_VIDEOINFOHEADER layout");
static_assert(offsetof(KS_VIDEOINFOHEADER, bmiHeader) == KS_VIDEOINFOHEADER_FIXED_SIZE,
              "48 bytes precede the bitmap header");
static_assert(sizeof(KS_VIDEOINFOHEADER) == 88, "KS_VIDEOINFOHEADER with a 40-byte bitmap header");

static_assert(sizeof(KS_VIDEO_STREAM_CONFIG_CAPS) == 128, "KS_VIDEO_STREAM_CONFIG_CAPS is 128 bytes");
static_assert(offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, InputSize) == 20, "config caps layout");
static_assert(offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MinOutputSize) == 60, "config caps layout");
static_assert(offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, ShrinkTapsY) == 96, "config caps layout");
static_assert(offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MinFrameInterval) == 104, "config caps layout");
static_assert(offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MinBitsPerSecond) == 120, "config caps layout");

static_assert(sizeof(KS_DATARANGE_VIDEO) == 296, "KS_DATARANGE_VIDEO is 296 bytes");
static_assert(offsetof(KS_DATARANGE_VIDEO, bFixedSizeSamples) == 64, "video range layout");
static_assert(offsetof(KS_DATARANGE_VIDEO, ConfigCaps) == 80, "video range layout");
static_assert(offsetof(KS_DATARANGE_VIDEO, VideoInfoHeader) == 208, "video range layout");

static_assert(sizeof(KS_DATAFORMAT_VIDEOINFOHEADER) == 152, "64 + 48 + 40 bytes");
static_assert(offsetof(KS_DATAFORMAT_VIDEOINFOHEADER, VideoInfoHeader) == 64, "video format layout");

static_assert(sizeof(KSIDENTIFIER) == 24 && alignof(KSIDENTIFIER) == 8, "KSPROPERTY is 24 bytes, 8-aligned");
static_assert(sizeof(KSMULTIPLE_ITEM) == 8, "KSMULTIPLE_ITEM is 8 bytes");
static_assert(sizeof(KSPROPERTY_STEPPING_LONG) == 16, "a stepping member is 16 bytes");
static_assert(sizeof(KSPROPERTY_MEMBERSHEADER) == 16, "members header is 16 bytes");

static_assert(sizeof(KSPROPERTY_VIDEOPROCAMP_S) == 40, "KSPROPERTY_VIDEOPROCAMP_S is 40 bytes");
static_assert(offsetof(KSPROPERTY_VIDEOPROCAMP_S, Value) == 24, "VideoProcAmp layout");
static_assert(offsetof(KSPROPERTY_VIDEOPROCAMP_S, Flags) == 28, "VideoProcAmp layout");
static_assert(offsetof(KSPROPERTY_VIDEOPROCAMP_S, Capabilities) == 32, "VideoProcAmp layout");

static_assert(sizeof(KSPROPERTY_VIDEOCONTROL_ACTUAL_FRAME_RATE_S) == 56, "actual frame rate is 56 bytes");
static_assert(offsetof(KSPROPERTY_VIDEOCONTROL_ACTUAL_FRAME_RATE_S, CurrentActualFrameRate) == 40,
              "actual frame rate layout");
static_assert(offsetof(KSPROPERTY_VIDEOCONTROL_ACTUAL_FRAME_RATE_S, CurrentMaxAvailableFrameRate) == 48,
              "actual frame rate layout");
static_assert(sizeof(KSPROPERTY_VIDEOCONTROL_FRAME_RATES_S) == 40, "frame rates request is 40 bytes");

static_assert(sizeof(KSTIME) == 16, "KSTIME layout");
static_assert(offsetof(KSSTREAM_HEADER, Duration) == 24, "stream header layout");
static_assert(offsetof(KSSTREAM_HEADER, Data) == 40, "stream header layout");
