#pragma once
// The processor's vector unit between our loops and the libraries.
//
// On x86-64 processors with AVX, a thread whose upper halves of the vector
// registers were left in use by code it ran before (some library paths of
// the toolkit do so on the user-interface thread) pays for every later
// SSE instruction: LittleCMS's transforms and the maths library's pow ran
// about five and twelve times slower there than on a fresh thread. The
// compute entry points (the parallel row driver, the colour transforms, the
// tone-table builders) therefore mark the upper halves unused first; the
// pixels they give are the same either way.

// Marks the upper halves of the vector registers unused (vzeroupper) on a
// processor with AVX; nothing elsewhere. Never inlined into vector code.
void ClearUpperVectorState();
