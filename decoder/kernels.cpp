#include "decoder/kernels.h"

constexpr DecoderKernels FAST_KERNELS = {
    DecodeMcuRowFast,
    TransformBlockFast,
    CameraRowBgr24Fast,
    CameraRowUyvyFast,
};

constexpr DecoderKernels REFERENCE_KERNELS = {
    DecodeMcuRowReference,
    TransformBlockReference,
    CameraRowBgr24Reference,
    CameraRowUyvyReference,
};

// Constant-initialised: no constructor runs.
constinit DecoderKernels g_DecoderKernels = FAST_KERNELS;
