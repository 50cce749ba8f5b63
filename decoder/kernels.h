// The decoder's hot loops, reached through one table so that a faster version
// (another instruction set, say) can replace any of them, and so that tests can run
// a whole picture through the plain versions and compare the bytes.
#pragma once

#include "decoder/decoder_context.h"

struct DecoderKernels {
    int32_t (*decodeMcuRow)();
    // Transforms one block of the coefficient store, whose zig-zag positions from
    // maxZag on are zero; the store must stay as it was.
    void (*transformBlock)(const int16_t* coefficients, int32_t maxZag, uint8_t* samples);
    // One line of the camera's layout: line L of the current MCU row.
    void (*rowBgr24)(int32_t L, uint8_t* line);
    void (*rowUyvy)(int32_t L, uint8_t* line);
};

// The kernels in use; FAST_KERNELS unless a test switched them.
extern DecoderKernels g_DecoderKernels;
extern const DecoderKernels FAST_KERNELS;
// The straightforward versions the fast ones must match byte for byte.
extern const DecoderKernels REFERENCE_KERNELS;

int32_t DecodeMcuRowFast();
int32_t DecodeMcuRowReference();
void TransformBlockFast(const int16_t* coefficients, int32_t maxZag, uint8_t* samples);
void TransformBlockReference(const int16_t* coefficients, int32_t maxZag, uint8_t* samples);
void CameraRowBgr24Fast(int32_t L, uint8_t* line);
void CameraRowBgr24Reference(int32_t L, uint8_t* line);
void CameraRowUyvyFast(int32_t L, uint8_t* line);
void CameraRowUyvyReference(int32_t L, uint8_t* line);
