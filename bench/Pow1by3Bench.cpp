// Timing of the lookup tables and of the table-driven XYZ -> L*a*b*
// conversion against the straightforward code a reader would write instead:
//   - building the cube-root table, against filling it with std::cbrt;
//   - building a one-gamma tone table, against a plain std::pow loop;
//   - building a tone table from a 256-sample curve (spline walked segment by
//     segment), against evaluating the same spline by a search per entry;
//   - converting a 6000 x 4000 image's worth of XYZ values to Lab through the
//     cube-root table, against the same formula with std::cbrt.
// Each line reads "name: ours X s, peer Y s, ratio R" with R = ours/peer
// (below 1: ours is faster); the last line gives the worst ratio. The
// largest Lab difference between the two conversions is printed as well, to
// show what accuracy the table costs.

#include "bench/BenchSupport.h"
#include "core/GammaTable.h"
#include "core/Pow1by3Table.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t Width = 6000;
constexpr std::size_t Height = 4000;
constexpr std::size_t DistinctRows = 64; // input rows, reused cyclically

struct White
{
    double x, y, z;
};

// CIE L*a*b* from XYZ, with the linear segment below t = 0.008856 (f = 7.787 t
// + 16/116, L = 903.29 t). The cube root is the only part that differs
// between the two paths. xyz and lab are n packed triples.
template <typename Root>
void XyzToLabRow(const double* xyz, double* lab, std::size_t n, const White& w, const Root& root)
{
    const double rx = 1.0 / w.x, ry = 1.0 / w.y, rz = 1.0 / w.z;
    for (std::size_t i = 0; i < n; ++i)
    {
        const double tx = xyz[3 * i] * rx;
        const double ty = xyz[3 * i + 1] * ry;
        const double tz = xyz[3 * i + 2] * rz;
        const double fx = tx > 0.008856 ? root(tx) : 7.787 * tx + 16.0 / 116.0;
        const double fy = ty > 0.008856 ? root(ty) : 7.787 * ty + 16.0 / 116.0;
        const double fz = tz > 0.008856 ? root(tz) : 7.787 * tz + 16.0 / 116.0;
        lab[3 * i] = ty > 0.008856 ? 116.0 * fy - 16.0 : 903.29 * ty;
        lab[3 * i + 1] = 500.0 * (fx - fy);
        lab[3 * i + 2] = 200.0 * (fy - fz);
    }
}

void BenchTableBuilds()
{
    constexpr int Runs = 30;

    std::vector<std::uint32_t> peerRoots(65536);
    const double ours1 = bench::Time(Runs, [] {
        const CPow1by3Table t;
        bench::KeepAlive(t.GetEntries().data());
    });
    const double peer1 = bench::Time(Runs, [&] {
        for (std::size_t i = 0; i < peerRoots.size(); ++i)
            peerRoots[i] = static_cast<std::uint32_t>(std::cbrt(static_cast<double>(i) / 65535.0) *
                                                      4294967295.0);
        bench::KeepAlive(peerRoots.data());
    });
    bench::Report("cube-root table build (65536 entries)", ours1, peer1);

    CGammaTable table;
    const double gamma[] = {2.2};
    std::vector<std::uint16_t> peerTable(65536);
    const double ours2 = bench::Time(Runs, [&] {
        table.BuildFromCurve(gamma);
        bench::KeepAlive(table.GetEntries().data());
    });
    const double peer2 = bench::Time(Runs, [&] {
        for (std::size_t i = 0; i < peerTable.size(); ++i)
        {
            const double v = std::pow(static_cast<double>(i) / 65535.0, 2.2);
            peerTable[i] = static_cast<std::uint16_t>(65535.0 * v);
        }
        bench::KeepAlive(peerTable.data());
    });
    bench::Report("tone table build, one gamma", ours2, peer2);

    // A 256-sample curve like a profile's sampled tone response (an sRGB-like
    // shape), as a spline.
    std::vector<double> curve(256);
    for (std::size_t k = 0; k < curve.size(); ++k)
    {
        const double x = static_cast<double>(k) / 255.0;
        curve[k] = x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    }
    const double ours3 = bench::Time(Runs, [&] {
        table.BuildFromCurve(curve);
        bench::KeepAlive(table.GetEntries().data());
    });
    const double peer3 = bench::Time(Runs, [&] {
        CInterpolation s;
        for (std::size_t k = 0; k < curve.size(); ++k)
            s.AddPoint(static_cast<double>(k) / 255.0, curve[k]);
        s.BuildSpline();
        for (std::size_t i = 0; i < peerTable.size(); ++i)
        {
            const double v = s.GetSplineValue(static_cast<double>(i) / 65535.0);
            peerTable[i] = static_cast<std::uint16_t>(65535.0 * std::clamp(v, 0.0, 1.0));
        }
        bench::KeepAlive(peerTable.data());
    });
    bench::Report("tone table build, 256-sample curve", ours3, peer3);
}

void BenchLab()
{
    const CPow1by3Table& table = GetPow1by3Table();
    // D65 white with Yn = 100, as the Lab accessor scales it.
    const White white{95.047, 100.0, 108.883};

    // XYZ from 0 to a little above the white, with about 2% of the values in
    // the linear segment near black.
    bench::Random random;
    std::vector<double> xyz(DistinctRows * Width * 3);
    for (std::size_t i = 0; i < xyz.size(); i += 3)
    {
        const double dark = random.NextUnit() < 0.02 ? 0.008 : 1.05;
        xyz[i] = random.NextUnit() * dark * white.x;
        xyz[i + 1] = random.NextUnit() * dark * white.y;
        xyz[i + 2] = random.NextUnit() * dark * white.z;
    }
    std::vector<double> labOurs(xyz.size());
    std::vector<double> labPeer(xyz.size());

    auto tableRoot = [&table](double t) { return table.Root(t); };
    auto cbrtRoot = [](double t) { return std::cbrt(t); };

    auto convertImage = [&](auto& root, std::vector<double>& out) {
        for (std::size_t y = 0; y < Height; ++y)
        {
            const std::size_t row = (y % DistinctRows) * Width * 3;
            XyzToLabRow(&xyz[row], &out[row], Width, white, root);
            bench::KeepAlive(&out[row]);
        }
    };
    const double ours = bench::Time(3, [&] { convertImage(tableRoot, labOurs); });
    const double peer = bench::Time(3, [&] { convertImage(cbrtRoot, labPeer); });
    bench::Report("XYZ to Lab 6000x4000, cube-root table vs std::cbrt", ours, peer);

    bench::LabDifference difference;
    difference.Add(labOurs, labPeer);
    difference.Print("table vs std::cbrt");
}

} // namespace

int main()
{
    BenchTableBuilds();
    BenchLab();
    bench::PrintWorstRatio();
    return 0;
}
