// Error codes of the frame decoder. They never leave the decoder as statuses:
// callers test only whether the latched code is 0. DecoderErrorName serves the tools and tests.
#pragma once

#include "platform/base_types.h"

constexpr int32_t DECODE_OK = 0;
constexpr int32_t DECODE_FAILED = -1;

constexpr int32_t DECERR_DHT_TOO_MANY_CODES = -200;
constexpr int32_t DECERR_DHT_BAD_TABLE = -201;
constexpr int32_t DECERR_DHT_BAD_LENGTH = -202;
constexpr int32_t DECERR_DQT_BAD_LENGTH = -203;
constexpr int32_t DECERR_DQT_BAD_TABLE = -204;
constexpr int32_t DECERR_SOF_BAD_PRECISION = -205;
constexpr int32_t DECERR_SOF_BAD_HEIGHT = -206;
constexpr int32_t DECERR_SOF_BAD_WIDTH = -207;
constexpr int32_t DECERR_SOF_TOO_MANY_COMPONENTS = -208;
constexpr int32_t DECERR_SOF_BAD_LENGTH = -209;
constexpr int32_t DECERR_SEGMENT_BAD_LENGTH = -210;
constexpr int32_t DECERR_DRI_BAD_LENGTH = -211;
constexpr int32_t DECERR_SOS_BAD_LENGTH = -212;
constexpr int32_t DECERR_SOS_BAD_COMPONENT = -213;
constexpr int32_t DECERR_ARITHMETIC_CODING = -215;
constexpr int32_t DECERR_UNEXPECTED_MARKER = -216;
constexpr int32_t DECERR_NO_SOI = -217;
constexpr int32_t DECERR_UNSUPPORTED_FRAME = -218;
constexpr int32_t DECERR_DQT_TRUNCATED = -219;
constexpr int32_t DECERR_NO_FREE_SLOT = -221;
constexpr int32_t DECERR_MISSING_QUANT_TABLE = -222;
constexpr int32_t DECERR_MISSING_HUFFMAN_TABLE = -223;
constexpr int32_t DECERR_BAD_COMPONENT_COUNT = -225;
constexpr int32_t DECERR_BAD_SAMPLING = -226;
constexpr int32_t DECERR_COEFFICIENT_OVERRUN = -227;
constexpr int32_t DECERR_BAD_RESTART_MARKER = -228;
constexpr int32_t DECERR_ROW_TOO_WIDE = -229;
constexpr int32_t DECERR_READ_FAILED = -232;
constexpr int32_t DECERR_OUT_OF_MEMORY = -233;

// "DECERR_SOF_BAD_PRECISION" for -205, "DECODE_OK" for 0, "unknown" for unassigned values.
const char* DecoderErrorName(int32_t code);
