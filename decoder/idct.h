// The integer 8x8 inverse DCT: rows, then columns to level-shifted samples.
#pragma once

#include "decoder/decoder_context.h"

// May overwrite the coefficients (the vector transform leaves them alone).
void InverseDct8x8(int16_t* coefficients, uint8_t* samples);
// The plain scalar transform, rows in place (the coefficients are overwritten). The
// fast one must give exactly its bytes for every input; the tests hold them together.
void InverseDct8x8Reference(int16_t* coefficients, uint8_t* samples);
void TransformMcuRow();
