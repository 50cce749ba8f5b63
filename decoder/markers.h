// Marker parsing: start of image, tables, restart interval, frame and scan headers.
#pragma once

#include "decoder/decoder_context.h"

// JPEG marker codes the parser distinguishes.
constexpr int32_t MARKER_SOF0 = 0xC0;
constexpr int32_t MARKER_SOF1 = 0xC1;
constexpr int32_t MARKER_SOF2 = 0xC2;
constexpr int32_t MARKER_DHT = 0xC4;
constexpr int32_t MARKER_SOF9 = 0xC9;
constexpr int32_t MARKER_DAC = 0xCC;
constexpr int32_t MARKER_RST0 = 0xD0;
constexpr int32_t MARKER_SOI = 0xD8;
constexpr int32_t MARKER_EOI = 0xD9;
constexpr int32_t MARKER_SOS = 0xDA;
constexpr int32_t MARKER_DQT = 0xDB;
constexpr int32_t MARKER_DRI = 0xDD;

// Resets the decoder onto the source and reads up to and including the frame header.
int32_t DecoderStart(MemorySource* source);
int32_t ReadFrameHeader();
int32_t ReadScanHeader();
void FinishScan();
int32_t ReadMarkers();
void FindStartOfImage();
int32_t NextMarker();
int32_t ParseDht();
int32_t ParseDqt();
int32_t ParseSof();
int32_t SkipSegment();
int32_t ParseDri();
int32_t ParseSos();
