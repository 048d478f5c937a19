// Decoding of an opened DNG's raw samples into plane A, the first pass of a
// development: uncompressed strips unpacked (byte-swapped, 12-bit samples
// widened) or lossless-JPEG tiles decoded. What follows plane A, from
// linearisation on, is the development (DNGDevelop.cpp).

#include "imagefile/DNGFile.h"
#include "imagefile/DNGPasses.h"
#include "imagefile/LosslessJpeg.h"

#include <algorithm>
#include <cstring>
#include <new>

using dngpass::Allocate;
using dngpass::CreatePlane;
using dngpass::kBlockRows;
using dngpass::PassProgress;

namespace {

std::uint16_t Swap16(std::uint16_t v)
{
    return static_cast<std::uint16_t>(v << 8 | v >> 8);
}

// Two 12-bit samples in three bytes, most significant bits first: a sample
// that starts on a byte boundary is byte 0 << 4 | byte 1 >> 4, the next is
// (byte 1 & 0x0F) << 8 | byte 2.
void Unpack12(const std::uint8_t* in, std::uint16_t* out, std::uint32_t width)
{
    std::uint32_t c = 0;
    for (; c + 1 < width; c += 2, in += 3)
    {
        out[c] = static_cast<std::uint16_t>(in[0] << 4 | in[1] >> 4);
        out[c + 1] = static_cast<std::uint16_t>((in[1] & 0x0F) << 8 | in[2]);
    }
    if (c < width)
        out[c] = static_cast<std::uint16_t>(in[0] << 4 | in[1] >> 4);
}

} // namespace

bool CDNGFile::DecodeRaw(const std::string& pathA, Progress progress)
{
    if (!Ok() || m_path.empty())
        return false;
    const PassRange whole{0.0, 1.0};
    try
    {
        return m_raw.compression == 1 ? UnpackStrips(pathA, whole, progress)
                                      : DecodeTiles(pathA, whole, progress);
    }
    catch (const std::bad_alloc&)
    {
        return Fail(DngErrorCode::NoMemory);
    }
}

// --- Unpacking ----------------------------------------------------------------

bool CDNGFile::UnpackStrips(const std::string& pathA, PassRange range, Progress progress)
{
    const DngRawLayout& r = m_raw;
    if (r.compression != 1)
        return true;
    if (r.stripOffsets.empty())
        return false;
    if (!CreatePlane(pathA))
        return Fail(DngErrorCode::PlaneFile);

    const std::size_t rowSamples = std::size_t{r.rawWidth} * r.samplesPerPixel;
    // Rows in the file: 16-bit samples, or 12-bit ones packed in pairs into
    // three bytes, each row padded to a whole byte.
    const std::size_t fileRowBytes =
        r.bitsPerSample == 16 ? rowSamples * 2 : (std::size_t{r.rawWidth} * 3 + 1) / 2;
    const std::size_t blocks = (r.rawHeight + kBlockRows - 1) / kBlockRows;
    const int workers = WorkerCount(blocks);

    struct Worker
    {
        CDNGTempFile out;
        std::vector<std::uint8_t> in;
        std::vector<std::uint16_t> rows;
    };
    std::vector<Worker> state(static_cast<std::size_t>(workers));
    for (Worker& w : state)
    {
        if (!Allocate(w.in, fileRowBytes) || !Allocate(w.rows, rowSamples * kBlockRows))
            return Fail(DngErrorCode::NoMemory);
        if (!w.out.Open(pathA, "r+b"))
            return Fail(DngErrorCode::PlaneFile);
    }

    const bool swap = m_swap;
    const auto work = [&](int worker, std::size_t block) {
        Worker& w = state[static_cast<std::size_t>(worker)];
        const std::uint32_t first = static_cast<std::uint32_t>(block * kBlockRows);
        const std::uint32_t last = std::min(r.rawHeight, first + kBlockRows);
        for (std::uint32_t row = first; row < last; ++row)
        {
            const std::uint64_t offset = std::uint64_t{r.stripOffsets[row / r.rowsPerStrip]} +
                                         std::uint64_t{row % r.rowsPerStrip} * fileRowBytes;
            std::uint16_t* out = w.rows.data() + std::size_t{row - first} * rowSamples;
            if (r.bitsPerSample == 16)
            {
                if (!m_input.ReadAt(offset, out, rowSamples * 2))
                    return DngErrorCode::ReadFailed;
                // Samples as stored are in the file's byte order.
                if (swap)
                    for (std::size_t i = 0; i < rowSamples; ++i)
                        out[i] = Swap16(out[i]);
            }
            else
            {
                if (!m_input.ReadAt(offset, w.in.data(), fileRowBytes))
                    return DngErrorCode::ReadFailed;
                Unpack12(w.in.data(), out, r.rawWidth);
            }
        }
        if (!w.out.WriteAt(std::uint64_t{first} * rowSamples * 2, w.rows.data(),
                           std::size_t{last - first} * rowSamples * 2))
            return DngErrorCode::PlaneFile;
        return DngErrorCode::None;
    };
    const PassProgress pass(progress, range.start, range.end);
    const auto report = [&](std::size_t block) {
        return dngpass::ReportRowPoints(pass, block, r.rawHeight, r.rawHeight, 100, 0, r.rawHeight);
    };
    const DngErrorCode outcome = dngpass::RunBlocks(workers, blocks, work, report);
    for (Worker& w : state)
        w.out.Close();
    if (outcome != DngErrorCode::None)
        return Fail(outcome);
    return true;
}

// --- Tile decoding ------------------------------------------------------------

bool CDNGFile::DecodeTiles(const std::string& pathA, PassRange range, Progress progress)
{
    const DngRawLayout& r = m_raw;
    if (r.compression == 1)
        return true;
    if (r.compression != 7 || r.tileCount == 0)
        return Fail(DngErrorCode::BadTag);
    if (!CreatePlane(pathA))
        return Fail(DngErrorCode::PlaneFile);

    const std::size_t samples = r.samplesPerPixel;
    const std::size_t rowSamples = std::size_t{r.rawWidth} * samples;
    const std::size_t largest = *std::max_element(r.tileByteCounts.begin(), r.tileByteCounts.end());
    // One block is one row of tiles: its image rows are written together.
    const std::size_t blocks = r.tilesDown;
    const int workers = WorkerCount(blocks);

    struct Worker
    {
        CDNGTempFile out;
        std::vector<std::uint8_t> data;
        std::vector<std::uint16_t> band;
        CLJDecoder decoder;
        LJImage image;
    };
    std::vector<Worker> state(static_cast<std::size_t>(workers));
    for (Worker& w : state)
    {
        if (!Allocate(w.data, largest) || !Allocate(w.band, rowSamples * r.tileLength))
            return Fail(DngErrorCode::NoMemory);
        if (!w.out.Open(pathA, "r+b"))
            return Fail(DngErrorCode::PlaneFile);
    }

    const auto work = [&](int worker, std::size_t block) {
        Worker& w = state[static_cast<std::size_t>(worker)];
        const std::uint32_t ty = static_cast<std::uint32_t>(block);
        const std::uint32_t firstRow = ty * r.tileLength;
        const std::uint32_t bandRows = std::min(r.tileLength, r.rawHeight - firstRow);
        for (std::uint32_t tx = 0; tx < r.tilesAcross; ++tx)
        {
            const std::size_t k = std::size_t{ty} * r.tilesAcross + tx;
            const std::size_t bytes = r.tileByteCounts[k];
            if (!m_input.ReadAt(r.tileOffsets[k], w.data.data(), bytes))
                return DngErrorCode::ReadFailed;
            // The frame must hold one tile: checked before the decoder
            // allocates anything.
            if (!w.decoder.Decode(w.data.data(), bytes, w.image,
                                  static_cast<std::uint32_t>(r.tileWidth * samples), r.tileLength))
                return w.image.resultCode == LJResult::ShapeMismatch ? DngErrorCode::BadTag
                                                                     : DngErrorCode::TileDecode;
            if (std::size_t{w.image.width} * w.image.components != r.tileWidth * samples ||
                w.image.height != r.tileLength)
                return DngErrorCode::BadTag;
            // The tile's columns inside the image.
            const std::uint32_t x0 = tx * r.tileWidth;
            const std::uint32_t x1 = std::min(x0 + r.tileWidth, r.rawWidth);
            const std::size_t copy = std::size_t{x1 - x0} * samples;
            const std::size_t lineSamples = std::size_t{r.tileWidth} * samples;
            for (std::uint32_t j = 0; j < bandRows; ++j)
                std::memcpy(w.band.data() + j * rowSamples + std::size_t{x0} * samples,
                            w.image.samples.data() + j * lineSamples, copy * 2);
        }
        if (!w.out.WriteAt(std::uint64_t{firstRow} * rowSamples * 2, w.band.data(),
                           std::size_t{bandRows} * rowSamples * 2))
            return DngErrorCode::PlaneFile;
        return DngErrorCode::None;
    };
    const PassProgress pass(progress, range.start, range.end);
    const double total = static_cast<double>(r.tilesAcross) * r.tilesDown;
    const auto report = [&](std::size_t block) {
        // Every 10 tiles: the tiles done before tile k.
        const std::size_t first = block * r.tilesAcross;
        const std::size_t last = first + r.tilesAcross;
        for (std::size_t k = (first + 9) / 10 * 10; k < last; k += 10)
            if (!pass.Report(static_cast<double>(k) / total))
                return false;
        return true;
    };
    const DngErrorCode outcome = dngpass::RunBlocks(workers, blocks, work, report);
    for (Worker& w : state)
        w.out.Close();
    if (outcome != DngErrorCode::None)
        return Fail(outcome);
    return true;
}
