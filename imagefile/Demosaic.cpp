// Colour-filter-array demosaicing: an edge-directed interpolation in three
// stages over a 2x2 Bayer pattern.
//   1. Green at red and blue sites, from the four green neighbours
//      corrected by the site's own colour's second difference, along the
//      smoother direction when the gradients differ clearly.
//   2. Red and blue at green sites: the site's green plus the mean colour
//      difference (colour - green) of the two neighbours of that colour.
//   3. The missing colour at red and blue sites (blue at red, red at blue):
//      green plus the mean colour difference of the diagonal neighbours,
//      with the same choice of direction as stage 1.
// Differences are taken between white-balanced channels: each sample is
// divided by its colour's balance factor first and multiplied back at the
// end, so the result keeps the camera's colour.
//
// Every formula is evaluated in doubles, which hold the sums and the
// divisions by powers of two of 33-bit values exactly, and truncated toward
// zero (negative results become 0) only when it is stored. The balanced raw
// samples (unsigned 32-bit values) are kept in the ring as doubles, so that
// the formulas read them without a conversion each.
//
// The stages run as a pipeline over a ring of 7 balanced raw rows and a
// ring of 4 colour rows: at step i, stage 1 makes row i, stage 2 row i - 1
// and stage 3 finishes row i - 2. Stage 1 keeps the direction it chose at
// each red or blue site in a byte mask of the row, which stage 3 (choosing
// by the same gradients at the same sites) reads back. Lines carry zero
// columns on both sides and rows outside the image read an all-zero line,
// so a neighbour outside the image is 0 without a test in the formulas.
// Bands of rows run on separate threads, each priming its own rings with
// the rows above it, which gives the same rows as one pipeline over the
// whole image.

#include "core/Clamp.h"
#include "imagefile/DNGFile.h"
#include "imagefile/DNGPasses.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace {

// Gradient thresholds: 4 and 12 steps of a 12-bit scale in 16-bit units.
constexpr double T1 = 4.0 * 65535.0 / 4095.0;
constexpr double T2 = 12.0 * 65535.0 / 4095.0;

// The interpolation the gradients choose at a red or blue site.
enum Direction : std::uint8_t
{
    kFlat = 0,     // both gradients small: all four neighbours
    kBlend = 1,    // gradients alike: all four, with second-difference terms
    kAlongRow = 2, // the row is smoother (dv > dh)
    kAlongColumn = 3,
};

Direction Choose(double dv, double dh)
{
    if (dv <= T1 && dh <= T1)
        return kFlat;
    if (std::fabs(dv - dh) <= T2)
        return kBlend;
    return dv > dh ? kAlongRow : kAlongColumn;
}

constexpr int kRawLines = 7;
constexpr int kColourLines = 4;
constexpr int kRawPad = 2;    // zero columns each side of a raw line
constexpr int kColourPad = 1; // and of a colour line

std::uint32_t Store(double v)
{
    return static_cast<std::uint32_t>(
        ClampToInteger(v, 0, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

// One row's neighbourhood: raw rows r-2..r+2 (raw[0]..raw[4]), readable from
// column -2 to width + 1, and colour rows r-1..r+1 (colour[0]..colour[2]),
// readable from column -1 to width.
struct CDNGFile::DemosaicWindow
{
    const double* raw[5];
    const LongRGBColor* colour[3];
    long long width;
    int greenParity; // column parity (c & 1) of the row's green sites
    bool redRow;     // the row's other sites are red
};

std::uint8_t CDNGFile::CfaColour(long long row, long long column) const
{
    const auto wrap = [](long long v) { return static_cast<std::int32_t>(((v % 2) + 2) % 2); };
    return m_raw.cfaPattern.GetAt(wrap(row - m_raw.top), wrap(column - m_raw.left));
}

void CDNGFile::PrepareRawLine(long long row, const std::uint16_t* planeRow, double* out,
                              const std::vector<std::uint32_t>* tables) const
{
    const std::uint32_t* even = tables[CfaColour(row, 0)].data();
    const std::uint32_t* odd = tables[CfaColour(row, 1)].data();
    const std::uint32_t width = m_raw.rawWidth;
    std::uint32_t c = 0;
    for (; c + 1 < width; c += 2)
    {
        out[c] = even[planeRow[c]];
        out[c + 1] = odd[planeRow[c + 1]];
    }
    if (c < width)
        out[c] = even[planeRow[c]];
}

void CDNGFile::FinishLine(const LongRGBColor* line, RGB16* out, std::uint32_t width,
                          const std::array<double, 3>& factors)
{
    // The channels and factors are never negative (nor NaN): only the top
    // needs limiting, which keeps the loop free of branches.
    const double fr = factors[0], fg = factors[1], fb = factors[2];
    const auto limit = [](double v) { return static_cast<std::uint16_t>(std::min(v, 65535.0)); };
    for (std::uint32_t c = 0; c < width; ++c)
        out[c] = {limit(line[c].r * fr), limit(line[c].g * fg), limit(line[c].b * fb)};
}

// dv weighs the vertical changes around the site: the difference across it,
// the second differences of its own and the two neighbouring columns, and
// the differences across the diagonals; dh the same turned a quarter.
[[gnu::always_inline]] inline void CDNGFile::EstimateGradients(const double* const* raw,
                                                               long long c, double& dv, double& dh)
{
    const auto P = [raw, c](int dy, int dx) { return static_cast<double>(raw[dy + 2][c + dx]); };
    dv = (std::fabs(P(-1, 0) - P(1, 0)) + std::fabs(2 * P(0, -1) - P(-2, -1) - P(2, -1)) / 4 +
          std::fabs(2 * P(0, 1) - P(-2, 1) - P(2, 1)) / 4 +
          std::fabs(2 * P(0, 0) - P(-2, 0) - P(2, 0)) / 2 + std::fabs(P(-1, -1) - P(1, -1)) / 2 +
          std::fabs(P(-1, 1) - P(1, 1)) / 2) /
         4;
    dh = (std::fabs(P(0, -1) - P(0, 1)) + std::fabs(2 * P(-1, 0) - P(-1, -2) - P(-1, 2)) / 4 +
          std::fabs(2 * P(1, 0) - P(1, -2) - P(1, 2)) / 4 +
          std::fabs(2 * P(0, 0) - P(0, -2) - P(0, 2)) / 2 + std::fabs(P(-1, -1) - P(-1, 1)) / 2 +
          std::fabs(P(1, -1) - P(1, 1)) / 2) /
         4;
}

void CDNGFile::InterpolateGreen(const DemosaicWindow& w, LongRGBColor* out,
                                std::uint8_t* directions)
{
    const double* const* raw = w.raw;
    for (long long c = w.greenParity; c < w.width; c += 2)
        out[c] = {0, static_cast<std::uint32_t>(raw[2][c]), 0};

    for (long long c = 1 - w.greenParity; c < w.width; c += 2)
    {
        const auto P = [raw, c](int dy, int dx) {
            return static_cast<double>(raw[dy + 2][c + dx]);
        };
        double dv, dh;
        EstimateGradients(raw, c, dv, dh);
        const Direction direction = Choose(dv, dh);
        directions[c] = direction;
        const double C = P(0, 0);
        const double sumC4 = P(-2, 0) + P(2, 0) + P(0, -2) + P(0, 2);
        const double avg4 = (P(-1, 0) + P(1, 0) + P(0, -1) + P(0, 1)) / 4;
        double g;
        if (direction == kFlat)
            g = avg4 + C - (4 * C + sumC4) / 8;
        else if (direction == kBlend)
        {
            const double sG =
                ((2 * P(-1, 0) - P(-1, -2) - P(-1, 2)) + (2 * P(1, 0) - P(1, -2) - P(1, 2)) +
                 (2 * P(0, -1) - P(-2, -1) - P(2, -1)) + (2 * P(0, 1) - P(-2, 1) - P(2, 1))) /
                8;
            g = avg4 + C - (4 * C + sumC4) / 8 + (sG - (4 * C - sumC4) / 4) / 2;
        }
        else if (direction == kAlongRow)
            g = (P(0, -1) + P(0, 1)) / 2 + C - (P(0, -2) + 2 * C + P(0, 2)) / 4;
        else
            g = (P(-1, 0) + P(1, 0)) / 2 + C - (P(-2, 0) + 2 * C + P(2, 0)) / 4;

        const auto own = static_cast<std::uint32_t>(raw[2][c]);
        if (w.redRow)
            out[c] = {own, Store(g), 0};
        else
            out[c] = {0, Store(g), own};
    }
}

void CDNGFile::InterpolateAtGreen(const DemosaicWindow& w, LongRGBColor* out)
{
    const double* above = w.raw[1];
    const double* here = w.raw[2];
    const double* below = w.raw[3];
    const LongRGBColor* gAbove = w.colour[0];
    const LongRGBColor* gHere = w.colour[1];
    const LongRGBColor* gBelow = w.colour[2];
    for (long long c = w.greenParity; c < w.width; c += 2)
    {
        const double gc = here[c];
        const double horizontal = gc + ((static_cast<double>(here[c - 1]) - gHere[c - 1].g) +
                                        (static_cast<double>(here[c + 1]) - gHere[c + 1].g)) /
                                           2;
        const double vertical = gc + ((static_cast<double>(above[c]) - gAbove[c].g) +
                                      (static_cast<double>(below[c]) - gBelow[c].g)) /
                                         2;
        // In a red row the horizontal neighbours are red, the vertical blue.
        if (w.redRow)
        {
            out[c].r = Store(horizontal);
            out[c].b = Store(vertical);
        }
        else
        {
            out[c].b = Store(horizontal);
            out[c].r = Store(vertical);
        }
    }
}

void CDNGFile::InterpolateAtRedBlue(const DemosaicWindow& w, LongRGBColor* out,
                                    const std::uint8_t* directions)
{
    const double* const* raw = w.raw;
    const LongRGBColor* const* colour = w.colour;
    // At a red site the missing colour is blue, at a blue site red.
    const auto missing = w.redRow ? &LongRGBColor::b : &LongRGBColor::r;
    for (long long c = 1 - w.greenParity; c < w.width; c += 2)
    {
        const auto P = [raw, c](int dy, int dx) {
            return static_cast<double>(raw[dy + 2][c + dx]);
        };
        const auto G = [colour, c](int dy, int dx) {
            return static_cast<double>(colour[dy + 1][c + dx].g);
        };
        const auto X = [colour, c, missing](int dy, int dx) {
            return static_cast<double>(colour[dy + 1][c + dx].*missing);
        };

        const std::uint8_t direction = directions[c];
        const double gc = G(0, 0);
        const double diagonal = ((P(-1, -1) - G(-1, -1)) + (P(-1, 1) - G(-1, 1)) +
                                 (P(1, -1) - G(1, -1)) + (P(1, 1) - G(1, 1))) /
                                4;
        double v;
        if (direction == kFlat)
            v = gc + diagonal;
        else if (direction == kBlend)
        {
            const double s1 =
                ((2 * X(1, 0) - P(1, -1) - P(1, 1)) + (2 * X(-1, 0) - P(-1, -1) - P(-1, 1)) +
                 (2 * X(0, -1) - P(-1, -1) - P(1, -1)) + (2 * X(0, 1) - P(-1, 1) - P(1, 1))) /
                8;
            const double s2 =
                ((2 * P(1, 0) - G(1, -1) - G(1, 1)) + (2 * P(-1, 0) - G(-1, -1) - G(-1, 1)) +
                 (2 * P(0, -1) - G(-1, -1) - G(1, -1)) + (2 * P(0, 1) - G(-1, 1) - G(1, 1))) /
                8;
            v = gc + diagonal + (s1 - s2) / 2;
        }
        else if (direction == kAlongRow)
            v = gc + ((X(0, -1) - P(0, -1)) + (X(0, 1) - P(0, 1))) / 2;
        else
            v = gc + ((X(-1, 0) - P(-1, 0)) + (X(1, 0) - P(1, 0))) / 2;
        out[c].*missing = Store(v);
    }
}

// One worker's pipeline: its rings, its streams on planes B and C, and the
// row after the last one it finished, so that a band that follows its
// previous one goes on without priming again.
class CDNGFile::CDemosaicBand
{
public:
    CDemosaicBand(const CDNGFile& file, const std::vector<std::uint32_t>* tables)
        : m_file(file), m_tables(tables), m_width(file.m_raw.rawWidth),
          m_height(file.m_raw.rawHeight)
    {}

    DngErrorCode Open(const std::string& pathB, const std::string& pathC)
    {
        if (!m_in.Open(pathB, "rb") || !m_out.Open(pathC, "r+b"))
            return DngErrorCode::PlaneFile;
        const int rawLine = static_cast<int>(m_width) + 2 * kRawPad;
        const int colourLine = static_cast<int>(m_width) + 2 * kColourPad;
        if (!dngpass::Allocate(m_planeRow, m_width) || !dngpass::Allocate(m_outRow, m_width) ||
            !dngpass::Allocate(m_zeroRaw, static_cast<std::size_t>(rawLine)) ||
            !dngpass::Allocate(m_zeroColour, static_cast<std::size_t>(colourLine)) ||
            !m_raw.Create(sizeof(double), rawLine, kRawLines) ||
            !m_colour.Create(sizeof(LongRGBColor), colourLine, kColourLines) ||
            !m_directions.Create(1, static_cast<int>(m_width), kColourLines))
            return DngErrorCode::NoMemory;
        m_rawRows.Reset(0, static_cast<int>(m_height), kRawPad, rawLine);
        // The side columns are never written: zero them once.
        for (int i = 0; i < kRawLines; ++i)
            m_raw.ClearLine(i);
        for (int i = 0; i < kColourLines; ++i)
            m_colour.ClearLine(i);
        return DngErrorCode::None;
    }

    void Close()
    {
        m_in.Close();
        m_out.Close();
    }

    // Finishes rows first to last - 1 into plane C.
    DngErrorCode Run(long long first, long long last)
    {
        long long i0 = first + 2;
        if (m_next != first)
        {
            // Prime: raw rows first - 4 .. first - 1; the loop starts with
            // stage 1 of row first - 2.
            i0 = first - 2;
            for (long long row = i0 - 2; row <= i0 + 1; ++row)
                if (const DngErrorCode e = LoadRaw(row); e != DngErrorCode::None)
                    return e;
        }
        for (long long i = i0; i <= last + 1; ++i)
        {
            if (const DngErrorCode e = LoadRaw(i + 2); e != DngErrorCode::None)
                return e;
            if (Inside(i))
                InterpolateGreen(Window(i), ColourRow(i), m_directions.LineAs<std::uint8_t>(i));
            if (i - 1 >= first - 1 && Inside(i - 1))
                InterpolateAtGreen(Window(i - 1), ColourRow(i - 1));
            const long long done = i - 2;
            if (done >= first && done < last)
            {
                InterpolateAtRedBlue(Window(done), ColourRow(done),
                                     m_directions.LineAs<std::uint8_t>(done));
                FinishLine(ColourRow(done), m_outRow.data(), m_width, m_file.m_wbFactors);
                if (!m_out.WriteAt(static_cast<std::uint64_t>(done) * m_width * sizeof(RGB16),
                                   m_outRow.data(), std::size_t{m_width} * sizeof(RGB16)))
                    return DngErrorCode::PlaneFile;
            }
        }
        m_next = last;
        return DngErrorCode::None;
    }

private:
    bool Inside(long long row) const { return row >= 0 && row < m_height; }

    DngErrorCode LoadRaw(long long row)
    {
        if (!Inside(row))
            return DngErrorCode::None;
        if (!m_in.ReadAt(static_cast<std::uint64_t>(row) * m_width * 2, m_planeRow.data(),
                         std::size_t{m_width} * 2))
            return DngErrorCode::PlaneFile;
        double* line = m_raw.LineAs<double>(row);
        m_file.PrepareRawLine(row, m_planeRow.data(), line + kRawPad, m_tables);
        m_rawRows.Set(row, line);
        return DngErrorCode::None;
    }

    // A row that was never loaded (outside the image) reads the zero line.
    const double* RawRow(long long row)
    {
        const double* line = m_rawRows.Row(row);
        return (line ? line : m_zeroRaw.data()) + kRawPad;
    }

    LongRGBColor* ColourRow(long long row)
    {
        return (Inside(row) ? m_colour.LineAs<LongRGBColor>(row) : m_zeroColour.data()) +
               kColourPad;
    }

    DemosaicWindow Window(long long row)
    {
        DemosaicWindow w{};
        for (int k = 0; k < 5; ++k)
            w.raw[k] = RawRow(row - 2 + k);
        for (int k = 0; k < 3; ++k)
            w.colour[k] = ColourRow(row - 1 + k);
        w.width = m_width;
        w.greenParity = m_file.CfaColour(row, 0) == 1 ? 0 : 1;
        w.redRow = m_file.CfaColour(row, 1 - w.greenParity) == 0;
        return w;
    }

    const CDNGFile& m_file;
    const std::vector<std::uint32_t>* m_tables;
    std::uint32_t m_width;
    long long m_height;
    CDNGTempFile m_in;
    CDNGTempFile m_out;
    CRingLineBuffer m_raw;
    TCalcPos<double> m_rawRows; // each image row's line in the raw ring
    CRingLineBuffer m_colour;
    CRingLineBuffer m_directions; // the byte masks of stage 1, a colour row each
    std::vector<double> m_zeroRaw;
    std::vector<LongRGBColor> m_zeroColour;
    std::vector<std::uint16_t> m_planeRow;
    std::vector<RGB16> m_outRow;
    long long m_next = -1;
};

bool CDNGFile::Demosaic(double start, double end, Progress progress, const std::string& pathC,
                        const std::string& pathB)
{
    if (!Ok())
        return false;
    const std::uint32_t height = m_raw.rawHeight;
    if (!dngpass::CreatePlane(pathC))
        return Fail(DngErrorCode::PlaneFile);

    // Balanced samples: trunc(v / factor) for every 16-bit v, a table a colour.
    std::vector<std::uint32_t> tables[3];
    for (std::size_t c = 0; c < 3; ++c)
    {
        if (!dngpass::Allocate(tables[c], 65536))
            return Fail(DngErrorCode::NoMemory);
        const double f = m_wbFactors[c];
        for (std::size_t v = 0; v < 65536; ++v)
            tables[c][v] = Store(static_cast<double>(v) / f);
    }

    const std::size_t blocks = (height + dngpass::kBlockRows - 1) / dngpass::kBlockRows;
    const int workers = WorkerCount(blocks);
    std::vector<std::unique_ptr<CDemosaicBand>> bands;
    for (int w = 0; w < workers; ++w)
    {
        auto band = std::make_unique<CDemosaicBand>(*this, tables);
        if (const DngErrorCode e = band->Open(pathB, pathC); e != DngErrorCode::None)
            return Fail(e);
        bands.push_back(std::move(band));
    }

    const auto work = [&](int worker, std::size_t block) {
        const long long first = static_cast<long long>(block) * dngpass::kBlockRows;
        const long long last = std::min<long long>(height, first + dngpass::kBlockRows);
        return bands[static_cast<std::size_t>(worker)]->Run(first, last);
    };
    // Every 100 steps of the pipeline, i = 0 .. height + 2; step i finishes
    // row i - 2.
    const dngpass::PassProgress pass(progress, start, end);
    const auto report = [&](std::size_t block) {
        return dngpass::ReportRowPoints(pass, block, height, std::uint64_t{height} + 3, 100, 2,
                                        static_cast<double>(height) + 2);
    };
    const DngErrorCode outcome = dngpass::RunBlocks(workers, blocks, work, report);
    for (auto& band : bands)
        band->Close();
    if (outcome != DngErrorCode::None)
        return Fail(outcome);
    return true;
}
