// The error latch and the pool blocks the decoder owns. A latch releases every
// block at once; a caller that sees a failure returns failure at once and touches
// no table or block storage again.
#pragma once

#include "decoder/decoder_context.h"

// Stores the code, releases everything (DecoderFreeAll) and returns the code.
int32_t LatchError(int32_t code);
// Detaches the source and releases every block held in allocPtr.
void DecoderFreeAll();
// A zero-filled PagedPool block of bytes + BLOCK_SLACK_BYTES, tagged "Wdm ", or null with an error latched.
void* AllocBlock(int32_t bytes);
