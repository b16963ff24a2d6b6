// The data-offset field in the executable's initialised data.
#pragma once

#include <stdint.h>

// The file offset of the first record header: written by the build (the executable's own size)
// and by the packer (the block's offset); 0 means no block.
uint32_t ReadDataOffsetField();
