// Frame and scan geometry: which layouts are accepted, one MCU row of storage,
// the first scan, and the start of decoding.
#pragma once

#include "decoder/decoder_context.h"

int32_t SetUpFrame();
void ComputeScanGeometry();
int32_t StartScan();
int32_t BeginDecoding();  // DECODE_OK or DECODE_FAILED
