// Compiles every platform header once, so their layout checks hold on each target.
#include "platform/base_types.h"
#include "platform/kernel_objects.h"
#include "platform/ntstatus.h"
#include "platform/pool.h"
#include "platform/usbd.h"
