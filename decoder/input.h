// The decoder's input: the memory source, the 4096-byte input buffer with its
// put-back room, the raw and entropy-coded byte readers and the two bit readers
// that share bitBuf (bits 15..0: the next 16 bits of the stream; above: the reserve).
#pragma once

#include "decoder/decoder_context.h"

// 1 when the source was set up; 0, leaving the record untouched, for a null pointer or a count <= 0.
int32_t MemorySourceInit(MemorySource* source, const uint8_t* data, int32_t size);
// Bytes copied (0 or more), or -1 when the source or its data is null.
int32_t MemorySourceRead(MemorySource* source, uint8_t* dest, int32_t count, int32_t& atEnd);

void RefillInput();
uint32_t ReadRawByte();
uint32_t ReadRawByteEx(int32_t& filler);
void UnreadByte(uint32_t byte);
uint32_t ReadCodedByte();
uint32_t GetBits(int32_t n);       // n in 0..16, over raw bytes (headers)
uint32_t GetCodedBits(int32_t n);  // n in 0..16, over entropy-coded bytes
void PrimeCodedBits();
uint32_t RotateLeft32(uint32_t value, uint32_t count);

// Consumes n (0..16) coded bits. Inline for the symbol decoder: with enough reserve
// it is one rotate, the same one GetCodedBits makes.
inline void SkipCodedBits(int32_t n)
{
    DecoderContext& d = g_Decoder;
    if (n < d.bitsLeft) {
        const uint32_t count = static_cast<uint32_t>(n);
        d.bitsLeft -= n;
        d.bitBuf = (d.bitBuf << count) | (d.bitBuf >> ((32u - count) & 31u));
        return;
    }
    GetCodedBits(n);
}

void ResetDecoder(MemorySource* source);

int32_t GetDecoderError();
int32_t GetImageWidth();
int32_t GetImageHeight();
