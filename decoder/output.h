// Colour conversion and output: the line loops and the row writers.
#pragma once

#include "decoder/decoder.h"

int32_t ClampSample(int32_t x);

// The line loops: DECODE_OK or DECODE_FAILED. dest must hold the whole picture.
int32_t DecodeLinesBgr24(uint8_t* dest);
int32_t DecodeLinesUyvy(uint8_t* dest);

// Writers for the camera's layout (luma 2 x 1, scan order Y, Cb, Cr) at a width
// that is a multiple of 16: one line of mcusPerRow x 16 pixels from the line
// maxMcuYSize - mcuLinesLeft of the current MCU row.
void WriteRowBgr24(uint8_t* line);
void WriteRowUyvy(uint8_t* line);

// Where the samples of one line come from, for any accepted layout and scan order.
struct LineLayout {
    int32_t width;           // pixels written per line
    int32_t mcuWidth;        // pixels per MCU
    int32_t mcuBytes;        // sample bytes per MCU (64 per block)
    int32_t lumaH, lumaV;    // luma blocks across and down one MCU
    int32_t lumaOffset[4];   // byte offset in the MCU of luma block (row * lumaH + column)
    int32_t cbOffset;        // byte offset of the Cb block; -1: none (grey)
    int32_t crOffset;
    int32_t cameraLayout;    // 1 when the camera's writers give exactly these lines
};

// Fills the layout from the frame and the scan just started; 0 when the MCU does
// not hold the blocks the writers need.
int32_t ComputeLineLayout(LineLayout* layout);

// Writers for any layout: line L (0-based) of the current MCU row, layout.width pixels.
void WriteLayoutRowBgr24(const LineLayout* layout, int32_t L, uint8_t* line);
void WriteLayoutRowUyvy(const LineLayout* layout, int32_t L, uint8_t* line);
