#pragma once
// Large blocks of memory as the kernel pages them in.
//
// A new block's pages are mapped on first touch, one fault per 4 KiB page:
// a 6000 x 4000 16-bit image is 35000 faults, which on a virtual machine
// cost more than reading the image's file. Transparent huge pages map 2 MiB
// at a fault; the kernel here gives them only to blocks that ask
// (madvise(2), MADV_HUGEPAGE), so the program asks for its image buffers.

#include <cstddef>

namespace platform {

// Asks for huge pages over the whole 2 MiB units inside the block; nothing
// for a smaller block or where the kernel does not offer them. Call before
// the block is first written.
void AdviseHugePages(void* data, std::size_t bytes);

} // namespace platform
