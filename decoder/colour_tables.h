// YCbCr to RGB contribution tables, indexed by the 8-bit chroma sample.
#pragma once

#include "decoder/decoder_context.h"

void BuildColourTables();
