// The two ping-pong capture buffers and the records the camera fills them with.
//
// Buffer lifecycle:
//   allocated   at driver entry (and again lazily when g_WorkBlock is null)
//   filling     one buffer takes the records of the frame being collected
//   finished    the other holds the last frame; its upper half is what the decoder reads
//   freed       by CamUnInitialize and on removal; flags and fill offsets survive
// Every start of frame swaps the roles of the two buffers.
#pragma once

#include "platform/base_types.h"
#include "platform/ntstatus.h"

constexpr uint32_t CAPTURE_BUFFER_SIZE = 65536;
constexpr uint32_t WORK_BLOCK_SIZE = 8192;
constexpr uint32_t SIDE_RECORD_SIZE = 124;
constexpr uint32_t SYNC_PAYLOAD_SIZE = 60;
constexpr uint32_t DATA_PAYLOAD_SIZE = 64;
constexpr uint32_t SYNC_HEADER_SIZE = 4;
constexpr uint32_t MAX_RECORD_OFFSET = 65288;  // CAPTURE_BUFFER_SIZE - SIDE_RECORD_SIZE, rounded to the last full record
constexpr uint32_t UPPER_HALF_OFFSET = 32768;
constexpr uint32_t UPPER_HALF_SIZE = 32768;
constexpr uint32_t HEAD_COPY_SIZE = 16384;     // bytes of the finished frame copied into its upper half
constexpr uint32_t HEAD_COPY_SKIP_OFFSET = 620; // a frame starting at this record offset keeps the first 620 bytes

// A compressed picture as the camera lays it out: records at the offsets the camera names.
struct CaptureBuffer {
    uint8_t bytes[CAPTURE_BUFFER_SIZE];
};

// One packet pair's share of the picture: the sync packet's payload, then the data packet's.
struct SideRecord {
    uint8_t syncPayload[SYNC_PAYLOAD_SIZE];
    uint8_t dataPayload[DATA_PAYLOAD_SIZE];
};
static_assert(sizeof(SideRecord) == SIDE_RECORD_SIZE, "a record is 124 bytes");
static_assert(MAX_RECORD_OFFSET + SIDE_RECORD_SIZE <= CAPTURE_BUFFER_SIZE, "the last record fits");

extern void* g_WorkBlock;  // non-null: the capture buffers are allocated
extern CaptureBuffer* g_FrameBufA;
extern CaptureBuffer* g_FrameBufB;
extern uint32_t g_FillOffsetA;
extern uint32_t g_FillOffsetB;
extern uint32_t g_FillingA;  // non-zero: A is filled, B holds the finished frame
extern uint32_t g_FillingB;  // non-zero: B is filled

NTSTATUS AllocateCaptureBuffers();
void FreeCaptureBuffers();
