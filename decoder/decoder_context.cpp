#include "decoder/decoder_context.h"

// Zero-initialised static storage: no constructor runs at load.
DecoderContext g_Decoder;
