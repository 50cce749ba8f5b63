// Coefficient decoding of one MCU row, with DC prediction, dequantisation and restarts.
#pragma once

#include "decoder/decoder_context.h"

// Natural (row-major) position of each zig-zag position.
extern const uint8_t ZIGZAG_ORDER[64];

int32_t DecodeMcuRow();
int32_t ProcessRestartMarker();
