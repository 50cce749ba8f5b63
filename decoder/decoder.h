// The frame decoder's outside face. Per picture: MemorySourceInit, DecoderStart,
// one decode entry, DecoderFreeAll. Not reentrant: there is one decoder.
#pragma once

#include "decoder/decoder_context.h"
#include "decoder/decoder_errors.h"

int32_t MemorySourceInit(MemorySource* source, const uint8_t* data, int32_t size);
int32_t DecoderStart(MemorySource* source);
void DecoderFreeAll();
int32_t GetDecoderError();

// Decode the opened picture into dest, which holds destLength bytes. BGR24 is
// bottom-up with stride width * 3, UYVY top-down with stride width * 2.
// Result: 0 when decoded, 1 when not; outWidth and outHeight receive the frame size.
int32_t DecodeFrameToBgr24(int32_t* outWidth, int32_t* outHeight, uint8_t* dest, uint32_t destLength);
int32_t DecodeFrameToUyvy(int32_t* outWidth, int32_t* outHeight, uint8_t* dest, uint32_t destLength);
