#pragma once
// Our own lossless JPEG (SOF3) encoder for test fixtures: DNG tiles and
// decoder round trips. Nothing ready-made in Debian writes this form.
//
// The stream is SOI, [COM], SOF3, one DHT segment a component (table j for
// component j, optimal code lengths limited to 16 bits, the all-ones code left
// unused), [DRI], SOS with every component interleaved, the entropy-coded data
// with 0xFF 0x00 stuffing, EOI.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace testsupport {

struct LosslessJpegOptions
{
    int components = 1; // 1..4
    int precision = 16; // 2..16; samples must be below 2^precision
    int predictor = 1;  // 1..7 (see imagefile/LosslessJpeg.h)
    // Identifier of component 0 in SOF3/SOS (component j gets first + j).
    std::uint8_t firstComponentId = 0;
    // When not 0: a DRI segment and an RSTn marker every restartLines lines.
    int restartLines = 0;
    // When true: a COM segment right after SOI (a segment a decoder must skip).
    bool comment = false;
    // When true: all tables in one DHT segment instead of one segment each.
    bool singleDhtSegment = false;
};

// Encodes width x height pixels of options.components interleaved samples
// (rows top first) into a complete SOI..EOI stream. Empty on invalid
// arguments (sizes 0 or above 65535, options out of range, a sample count
// that differs from width x height x components, or a sample of
// 2^precision or more).
std::vector<std::uint8_t> EncodeLosslessJpeg(std::span<const std::uint16_t> samples, int width,
                                             int height, const LosslessJpegOptions& options = {});

} // namespace testsupport
