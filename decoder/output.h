// Colour conversion and output: the line loops and the row writers.
#pragma once

#include "decoder/decoder.h"

int32_t ClampSample(int32_t x);
