// The integer 8x8 inverse DCT: rows in place, then columns to level-shifted samples.
#pragma once

#include "decoder/decoder_context.h"

void InverseDct8x8(int16_t* coefficients, uint8_t* samples);
void TransformMcuRow();
