// Development of an opened DNG: the passes from plane A (which the reader
// decodes, DNGDecode.cpp) on, that is normalisation (linearisation, black,
// white) into plane B (CFA) or C (LinearRaw) and demosaicing B into C
// (Demosaic.cpp); the reading of the developed rows with the default crop
// and scale; and the file's colour description for the colour transform.

#include "core/Clamp.h"
#include "core/PathUtils.h"
#include "imagefile/DNGFile.h"
#include "imagefile/DNGPasses.h"
#include "imagefile/DNGTranspose.h"
#include "platform/File.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

using dngpass::Allocate;
using dngpass::CreatePlane;
using dngpass::kBlockRows;
using dngpass::PassProgress;

namespace {

// v becomes (v - black) / (white - black) x 65535, truncated: black maps to
// 0 and the white level to 65535, whatever the black level. A sample at or
// below its black is 0, one at or above its white 65535. The product is
// formed before the division, so that a whole quotient (a white level of
// 65535 over a black of 0 gives back every sample) comes out exact.
std::uint16_t ScaleSample(double v, double black, double white)
{
    const double d = v - black;
    if (!(d > 0.0))
        return 0;
    if (v >= white)
        return 65535;
    return ClampToU16(d * 65535.0 / (white - black));
}

// Without per-column or per-row black deltas, a sample's normalised value
// depends only on its value, its repeat cell and its sample index: one
// table of 65536 entries for each (cell, sample) does linearisation, black
// and white at once, with the very same arithmetic. Used up to this many
// tables (a 4 x 4 repeat of one sample).
constexpr std::size_t kMaxNormaliseTables = 16;

} // namespace

int CDNGFile::WorkerCount(std::size_t blocks) const
{
    const int threads = m_threads > 0 ? m_threads : GetRowThreadCount();
    return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(threads), blocks));
}

// --- Develop ----------------------------------------------------------------

bool CDNGFile::Develop(const std::string& pathA, const std::string& pathC, const std::string& pathB,
                       Progress progress)
{
    if (!Ok() || m_path.empty())
        return false;
    m_developedPlane.Close();
    m_developedPath.clear();
    m_developed = 0;
    m_finalProgress = 0.0;
    m_wbFactors = {1.0, 1.0, 1.0};
    for (int i = 0; i < 2; ++i)
        m_cacheRowIndex[i] = -1;

    const DngRawLayout& r = m_raw;
    const bool cfa = r.photometric == 32803;
    if ((cfa && r.samplesPerPixel != 1) || (!cfa && r.samplesPerPixel != 3))
        return false;
    if (r.compression == 1 && r.stripOffsets.empty())
        return false; // uncompressed tiles are not developed
    if (r.compression != 1 && r.compression != 7)
        return false;

    // Every plane this development made goes when it fails.
    std::vector<std::string> made;
    bool developed = false;
    try
    {
        developed = RunPasses(pathA, pathC, pathB, progress, made);
    }
    catch (const std::bad_alloc&)
    {
        Fail(DngErrorCode::NoMemory);
    }
    if (!developed)
    {
        for (const std::string& p : made)
            std::remove(p.c_str());
        m_developedPlane.Close();
    }
    return developed;
}

std::string CDNGFile::WorkPlanePath(char letter)
{
    const std::string stem = GetAppTempFolder() + "DNG_Temp_" + letter;
    std::string path = stem + ".raw";
    for (int n = 0; n < 100000 && platform::PathExists(path); ++n)
    {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%05d", n);
        path = stem + suffix + ".raw";
    }
    return path;
}

bool CDNGFile::Develop(Progress progress)
{
    return Develop(WorkPlanePath('A'), WorkPlanePath('C'), WorkPlanePath('B'), progress);
}

bool CDNGFile::RunPasses(const std::string& pathA, const std::string& pathC,
                         const std::string& pathB, Progress progress,
                         std::vector<std::string>& made)
{
    const DngRawLayout& r = m_raw;
    const bool cfa = r.photometric == 32803;
    // The passes' shares of the whole; reading the developed rows takes the
    // rest. By compression, photometric interpretation and default scale:
    // unpack (or decode), normalise and demosaic ranges.
    const bool scale1 = r.defaultScaleH == 1.0 && r.defaultScaleV == 1.0;
    struct Shares
    {
        PassRange first, normalise, demosaic;
    };
    Shares s{};
    if (r.compression == 1 && cfa)
        s = scale1 ? Shares{{0, 0.2}, {0.2, 0.4}, {0.4, 0.8}}
                   : Shares{{0, 1.0 / 6}, {1.0 / 6, 1.0 / 3}, {1.0 / 3, 2.0 / 3}};
    else if (r.compression == 1)
        s = scale1 ? Shares{{0, 1.0 / 3}, {1.0 / 3, 2.0 / 3}, {}}
                   : Shares{{0, 0.25}, {0.25, 0.5}, {}};
    else if (cfa)
        s = scale1 ? Shares{{0, 3.0 / 7}, {3.0 / 7, 4.0 / 7}, {4.0 / 7, 6.0 / 7}}
                   : Shares{{0, 0.375}, {0.375, 0.5}, {0.5, 0.75}};
    else
        s = scale1 ? Shares{{0, 0.6}, {0.6, 0.8}, {}} : Shares{{0, 0.5}, {0.5, 2.0 / 3}, {}};

    made.push_back(pathA);
    const bool unpacked = r.compression == 1 ? UnpackStrips(pathA, s.first, progress)
                                             : DecodeTiles(pathA, s.first, progress);
    if (!unpacked)
        return false;

    // Each plane goes as soon as the pass that reads it is done.
    const std::string& normalised = cfa ? pathB : pathC;
    made.push_back(normalised);
    const bool normaliseOk = Normalize(pathA, normalised, s.normalise, progress);
    std::remove(pathA.c_str());
    made.erase(made.begin());
    if (!normaliseOk)
        return false;

    double finalProgress = s.normalise.end;
    if (cfa)
    {
        made.push_back(pathC);
        const bool demosaicOk = Demosaic(s.demosaic.start, s.demosaic.end, progress, pathC, pathB);
        std::remove(pathB.c_str());
        made.erase(made.begin());
        if (!demosaicOk)
            return false;
        finalProgress = s.demosaic.end;
    }

    if (!m_developedPlane.Open(pathC, "rb"))
        return Fail(DngErrorCode::PlaneFile);
    // The open stream keeps the plane's data; the folder keeps nothing.
    std::remove(pathC.c_str());
    made.clear();
    m_developedPath = pathC;
    m_finalProgress = finalProgress;
    m_developed = 1;
    return true;
}

// --- Normalisation --------------------------------------------------------------

void CDNGFile::ApplyLinearization(std::uint16_t* row, std::size_t count) const
{
    const std::vector<std::uint16_t>& table = m_raw.linearization;
    if (table.empty())
        return;
    const std::size_t n = table.size();
    for (std::size_t i = 0; i < count; ++i)
        row[i] = row[i] < n ? table[row[i]] : table[n - 1];
}

// Black of each sample of row r: the repeat cell's level for (row, column,
// sample), counted from the active area's corner, plus the column's and the
// row's deltas inside the active area.
void CDNGFile::BlackRow(std::uint32_t row, double* black) const
{
    const DngRawLayout& r = m_raw;
    const std::size_t samples = r.samplesPerPixel;
    const auto wrap = [](long long v, long long m) { return ((v % m) + m) % m; };
    const long long columns = r.blackRepeatColumns;
    const long long cellRow = wrap(static_cast<long long>(row) - r.top, r.blackRepeatRows);
    const double deltaV = (!r.blackDeltaV.empty() && row >= r.top && row < r.bottom)
                              ? r.blackDeltaV[row - r.top]
                              : 0.0;
    const double* cells =
        r.blackLevels.data() + static_cast<std::size_t>(cellRow * columns) * samples;
    const bool deltasH = !r.blackDeltaH.empty();
    long long cellColumn = wrap(-static_cast<long long>(r.left), columns);
    for (std::uint32_t c = 0; c < r.rawWidth; ++c)
    {
        const double deltaH =
            (deltasH && c >= r.left && c < r.right) ? r.blackDeltaH[c - r.left] : 0.0;
        const double* cell = cells + static_cast<std::size_t>(cellColumn) * samples;
        for (std::size_t s = 0; s < samples; ++s)
            black[c * samples + s] = cell[s] + deltaH + deltaV;
        if (++cellColumn == columns)
            cellColumn = 0;
    }
}

void CDNGFile::SubtractBlackAndScale(const double* black, std::uint16_t* row) const
{
    const DngRawLayout& r = m_raw;
    const std::size_t samples = r.samplesPerPixel;
    const std::size_t count = std::size_t{r.rawWidth} * samples;
    for (std::size_t i = 0; i < count; ++i)
        row[i] = ScaleSample(row[i], black[i], r.whiteLevels[i % samples]);
}

// The balance factors that demosaicing divides by (and multiplies back):
// each colour's mean relative to the largest, from the CFA sums (green has
// two sites a cell). A colour that sums to 0, or an image that is black
// throughout, gets a factor of 1: a factor of 0 would leave nothing to
// divide by. Factors are kept above 1/65535 so that a balanced 16-bit
// sample stays within 32 bits.
void CDNGFile::SetWhiteBalanceFactors(const std::array<std::uint64_t, 3>& sums)
{
    m_wbFactors = {1.0, 1.0, 1.0};
    const double means[3] = {static_cast<double>(sums[0]), static_cast<double>(sums[1]) / 2.0,
                             static_cast<double>(sums[2])};
    const double m = std::max({means[0], means[1], means[2]});
    if (!(m > 0.0))
        return;
    for (int c = 0; c < 3; ++c)
    {
        if (means[c] > 0.0)
            m_wbFactors[static_cast<std::size_t>(c)] = std::max(means[c] / m, 1.0 / 65535.0);
    }
}

bool CDNGFile::Normalize(const std::string& pathA, const std::string& pathOut, PassRange range,
                         Progress progress)
{
    const DngRawLayout& r = m_raw;
    const bool cfa = r.photometric == 32803 && r.samplesPerPixel == 1;
    const std::size_t rowSamples = std::size_t{r.rawWidth} * r.samplesPerPixel;
    const std::size_t blocks = (r.rawHeight + kBlockRows - 1) / kBlockRows;
    const int workers = WorkerCount(blocks);
    if (!CreatePlane(pathOut))
        return Fail(DngErrorCode::PlaneFile);

    struct Worker
    {
        CDNGTempFile in;
        CDNGTempFile out;
        std::vector<std::uint16_t> rows;
        std::vector<double> black;
    };
    std::vector<Worker> state(static_cast<std::size_t>(workers));
    for (Worker& w : state)
    {
        if (!Allocate(w.rows, rowSamples * kBlockRows) || !Allocate(w.black, rowSamples))
            return Fail(DngErrorCode::NoMemory);
        if (!w.in.Open(pathA, "rb") || !w.out.Open(pathOut, "r+b"))
            return Fail(DngErrorCode::PlaneFile);
    }
    // Colour sums a block, added up in block order afterwards.
    std::vector<std::array<std::uint64_t, 3>> sums(blocks, {0, 0, 0});

    const std::size_t samples = r.samplesPerPixel;
    const std::size_t tableCount = std::size_t{r.blackRepeatRows} * r.blackRepeatColumns * samples;
    std::vector<std::uint16_t> tables;
    if (r.blackDeltaH.empty() && r.blackDeltaV.empty() && tableCount <= kMaxNormaliseTables)
    {
        if (!Allocate(tables, tableCount * 65536))
            return Fail(DngErrorCode::NoMemory);
        std::vector<std::uint16_t> values(65536);
        for (std::size_t v = 0; v < values.size(); ++v)
            values[v] = static_cast<std::uint16_t>(v);
        ApplyLinearization(values.data(), values.size());
        for (std::size_t k = 0; k < tableCount; ++k)
            for (std::size_t v = 0; v < 65536; ++v)
                tables[k * 65536 + v] =
                    ScaleSample(values[v], r.blackLevels[k], r.whiteLevels[k % samples]);
    }
    const auto throughTables = [&](std::uint32_t row, std::uint16_t* v) {
        const auto wrap = [](long long x, long long m) { return ((x % m) + m) % m; };
        const long long columns = r.blackRepeatColumns;
        const long long cellRow = wrap(static_cast<long long>(row) - r.top, r.blackRepeatRows);
        const std::uint16_t* rowTables =
            tables.data() + static_cast<std::size_t>(cellRow * columns) * samples * 65536;
        long long cellColumn = wrap(-static_cast<long long>(r.left), columns);
        for (std::uint32_t c = 0; c < r.rawWidth; ++c)
        {
            const std::uint16_t* cell =
                rowTables + static_cast<std::size_t>(cellColumn) * samples * 65536;
            for (std::size_t s = 0; s < samples; ++s)
                v[c * samples + s] = cell[s * 65536 + v[c * samples + s]];
            if (++cellColumn == columns)
                cellColumn = 0;
        }
    };

    const auto work = [&](int worker, std::size_t block) {
        Worker& w = state[static_cast<std::size_t>(worker)];
        const std::uint32_t first = static_cast<std::uint32_t>(block * kBlockRows);
        const std::uint32_t last = std::min(r.rawHeight, first + kBlockRows);
        const std::size_t bytes = std::size_t{last - first} * rowSamples * 2;
        if (!w.in.ReadAt(std::uint64_t{first} * rowSamples * 2, w.rows.data(), bytes))
            return DngErrorCode::PlaneFile;
        for (std::uint32_t row = first; row < last; ++row)
        {
            std::uint16_t* v = w.rows.data() + std::size_t{row - first} * rowSamples;
            if (!tables.empty())
                throughTables(row, v);
            else
            {
                ApplyLinearization(v, rowSamples);
                BlackRow(row, w.black.data());
                SubtractBlackAndScale(w.black.data(), v);
            }
            if (cfa)
            {
                // Colours alternate along a row: sum even and odd columns.
                std::uint64_t even = 0, odd = 0;
                std::uint32_t c = 0;
                for (; c + 1 < r.rawWidth; c += 2)
                {
                    even += v[c];
                    odd += v[c + 1];
                }
                if (c < r.rawWidth)
                    even += v[c];
                sums[block][CfaColour(row, 0)] += even;
                if (r.rawWidth > 1)
                    sums[block][CfaColour(row, 1)] += odd;
            }
        }
        if (!w.out.WriteAt(std::uint64_t{first} * rowSamples * 2, w.rows.data(), bytes))
            return DngErrorCode::PlaneFile;
        return DngErrorCode::None;
    };
    const PassProgress pass(progress, range.start, range.end);
    const auto report = [&](std::size_t block) {
        return dngpass::ReportRowPoints(pass, block, r.rawHeight, r.rawHeight, 100, 0, r.rawHeight);
    };
    const DngErrorCode outcome = dngpass::RunBlocks(workers, blocks, work, report);
    for (Worker& w : state)
    {
        w.in.Close();
        w.out.Close();
    }
    if (outcome != DngErrorCode::None)
        return Fail(outcome);

    m_wbFactors = {1.0, 1.0, 1.0};
    if (cfa)
    {
        std::array<std::uint64_t, 3> total{0, 0, 0};
        for (const auto& s : sums)
            for (std::size_t c = 0; c < 3; ++c)
                total[c] += s[c];
        SetWhiteBalanceFactors(total);
    }
    return true;
}

// --- Reading developed rows -------------------------------------------------------

bool CDNGFile::ReadPlaneRow(std::uint32_t row, std::vector<RGB16>& buffer)
{
    const std::size_t width = m_raw.rawWidth;
    if (buffer.size() != width)
    {
        try
        {
            buffer.resize(width);
        }
        catch (const std::bad_alloc&)
        {
            return Fail(DngErrorCode::NoMemory);
        }
    }
    if (!m_developedPlane.ReadAt(std::uint64_t{row} * width * sizeof(RGB16), buffer.data(),
                                 width * sizeof(RGB16)))
        return Fail(DngErrorCode::PlaneFile);
    return true;
}

bool CDNGFile::GetLine(unsigned y, RGB16* out)
{
    if (!m_developed || !out || y >= GetOutputHeight())
        return false;
    const DngRawLayout& r = m_raw;
    const unsigned width = GetOutputWidth();

    if (r.defaultScaleH == 1.0 && r.defaultScaleV == 1.0)
    {
        const std::uint64_t row =
            std::uint64_t{y} + static_cast<std::uint64_t>(r.cropOriginV) + r.top;
        const std::uint64_t pixel =
            row * r.rawWidth + r.left + static_cast<std::uint64_t>(r.cropOriginH);
        if (!m_developedPlane.ReadAt(pixel * sizeof(RGB16), out,
                                     std::size_t{width} * sizeof(RGB16)))
            return Fail(DngErrorCode::PlaneFile);
        return true;
    }

    // Bilinear: output (x, y) samples the plane at
    // (left + x / scaleH + originH, top + y / scaleV + originV).
    const double sy = r.top + y / r.defaultScaleV + r.cropOriginV;
    const std::uint32_t y0 = static_cast<std::uint32_t>(ClampToInteger(sy, 0, r.rawHeight - 1));
    const double fy = sy - y0;
    const std::uint32_t y1 = std::min(y0 + 1, r.rawHeight - 1);
    // The two rows of the last call are often the two of this one.
    const auto find = [this](std::uint32_t row) {
        for (int k = 0; k < 2; ++k)
            if (m_cacheRowIndex[k] == row)
                return k;
        return -1;
    };
    const std::uint32_t need[2] = {y0, y1};
    for (int i = 0; i < 2; ++i)
    {
        if (find(need[i]) >= 0)
            continue;
        const int slot = m_cacheRowIndex[0] == need[1 - i] ? 1 : 0;
        m_cacheRowIndex[slot] = -1;
        if (!ReadPlaneRow(need[i], m_cacheRows[slot]))
            return false;
        m_cacheRowIndex[slot] = need[i];
    }
    const RGB16* upperRow = m_cacheRows[find(y0)].data();
    const RGB16* lowerRow = m_cacheRows[find(y1)].data();
    for (unsigned x = 0; x < width; ++x)
    {
        const double sx = r.left + x / r.defaultScaleH + r.cropOriginH;
        const std::uint32_t x0 = static_cast<std::uint32_t>(ClampToInteger(sx, 0, r.rawWidth - 1));
        const double fx = sx - x0;
        const std::uint32_t x1 = std::min(x0 + 1, r.rawWidth - 1);
        const auto channel = [&](std::uint16_t RGB16::*ch) {
            const double p00 = upperRow[x0].*ch, p01 = upperRow[x1].*ch;
            const double p10 = lowerRow[x0].*ch, p11 = lowerRow[x1].*ch;
            const double upper = p00 + fx * (p01 - p00);
            const double lower = p10 + fx * (p11 - p10);
            return ClampToU16(upper + fy * (lower - upper));
        };
        out[x] = {channel(&RGB16::r), channel(&RGB16::g), channel(&RGB16::b)};
    }
    return true;
}

// --- Colour description ---------------------------------------------------------

void CDNGFile::GetCameraToXyzMatrices(CStdMatrix& matrix1, CStdMatrix& matrix2,
                                      bool& hasSecond) const
{
    const DngImageTags& t = m_tags;
    const double exposure = std::exp2(t.baselineExposure);
    const auto cameraToXyz = [&](const CStdMatrix& calibration, const CStdMatrix& colorMatrix) {
        CStdMatrix m = t.analogBalance * calibration * colorMatrix;
        if (!m.Invert())
            m = CStdMatrix::Identity(3);
        return m * exposure;
    };
    matrix1 = cameraToXyz(t.cameraCalibration1, t.colorMatrix1);
    hasSecond = t.colorMatrix2.GetRows() == 3 && t.colorMatrix2.GetCols() == 3;
    if (hasSecond)
        matrix2 = cameraToXyz(t.cameraCalibration2, t.colorMatrix2);
}

void CDNGFile::GetColorInfo(CDNGTranspose& transform) const
{
    CStdMatrix matrix1, matrix2;
    bool hasSecond = false;
    GetCameraToXyzMatrices(matrix1, matrix2, hasSecond);
    transform.Setup(m_tags.calibrationIlluminant1, m_tags.calibrationIlluminant2, matrix1, matrix2,
                    hasSecond, m_tags.asShotNeutral, m_tags.asShotWhiteXY,
                    m_tags.baselineExposure);
}
