#include "correction/ChartDoc.h"

#include "core/ImageAccess.h"
#include "core/StdMatrix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::string_view kSection = CBaseDoc::kChartSection;

constexpr int kDefaultGrayRows = 1;
constexpr int kDefaultGrayColumns = 6;
constexpr int kDefaultChartRows = 3;
constexpr int kDefaultChartColumns = 6;

// The first dimension P is stored as "...Col", the second Q as "...Row".
constexpr IntParam kGrayScaleCol{"GrayScaleCol", kDefaultGrayRows, 0,
                                 CChartDoc::kMaxChartDimension};
constexpr IntParam kGrayScaleRow{"GrayScaleRow", kDefaultGrayColumns, 0,
                                 CChartDoc::kMaxChartDimension};
constexpr IntParam kColorChartCol{"ColorChartCol", kDefaultChartRows, 0,
                                  CChartDoc::kMaxChartDimension};
constexpr IntParam kColorChartRow{"ColorChartRow", kDefaultChartColumns, 0,
                                  CChartDoc::kMaxChartDimension};

// Patches with less chroma than this carry no reliable hue.
constexpr double kMinChroma = 10.0;
// A gap of this many degrees or more between neighbouring patch hues is
// bridged by anchors.
constexpr double kHueGap = 120.0;
// Anchors are neutral-ish colours that map onto themselves.
constexpr double kAnchorLightness = 50.0;
constexpr double kAnchorChroma = 50.0;

std::string PatchKey(const char* prefix, int i, int j)
{
    char key[32];
    std::snprintf(key, sizeof key, "%s_%03d_%03d", prefix, i, j);
    return key;
}

// Patch (i, j) of a P x Q table is element i x Q + j.
bool ReadTable(const CParamFileReader& file, const char* prefix, int P, int Q,
               T2DArray<CCIEXYZ>& table)
{
    table.Resize(P, Q, CCIEXYZ());
    bool complete = true;
    const std::vector<double> zero{0.0, 0.0, 0.0};
    std::vector<double> values;
    for (int i = 0; i < P && Q > 0; ++i)
    {
        for (int j = 0; j < Q; ++j)
        {
            if (file.GetDoubleList(kSection, PatchKey(prefix, i, j), zero, values))
                table.SetAt(i, j, CCIEXYZ(values));
            else
                complete = false;
        }
    }
    return complete;
}

bool WriteTable(CSaveDoc& save, const char* prefix, const T2DArray<CCIEXYZ>& table)
{
    bool ok = true;
    for (int i = 0; i < table.GetRows(); ++i)
    {
        for (int j = 0; j < table.GetColumns(); ++j)
        {
            const CCIEXYZ patch = table.GetAt(i, j);
            const double xyz[3] = {patch[0], patch[1], patch[2]};
            ok = save.WriteDoubleList(PatchKey(prefix, i, j), xyz) && ok;
        }
    }
    return ok;
}

// A hue brought into 0..360 by one turn at most.
double WrapHue(double h)
{
    if (h >= 360.0)
        return h - 360.0;
    if (h < 0.0)
        return h + 360.0;
    return h;
}

CLChPair Anchor(double hue)
{
    const CCIELCh lch(kAnchorLightness, kAnchorChroma, WrapHue(hue));
    return {lch, lch};
}

void SortByMeasuredHue(std::vector<CLChPair>& pairs)
{
    std::stable_sort(pairs.begin(), pairs.end(), [](const CLChPair& a, const CLChPair& b) {
        return a.measured[2] < b.measured[2];
    });
}

double Radians(double degrees)
{
    return degrees / 180.0 * CChartDoc::kPi;
}

CMtx3x3 Blend(const CMtx3x3& a, double wa, const CMtx3x3& b, double wb)
{
    CMtx3x3 out;
    for (std::size_t k = 0; k < 9; ++k)
        out.m[k] = wa * a.m[k] + wb * b.m[k];
    return out;
}

} // namespace

// --- CMtx3x3 -------------------------------------------------------------------

CMtx3x3::CMtx3x3(const CStdMatrix& matrix)
{
    const std::vector<double>& data = matrix.GetData();
    const std::size_t cols = matrix.GetCols();
    for (std::size_t r = 0; r < 3 && r < matrix.GetRows(); ++r)
    {
        for (std::size_t c = 0; c < 3 && c < cols; ++c)
            m[r * 3 + c] = data[r * cols + c];
    }
}

CMtx3x3 CMtx3x3::Identity()
{
    CMtx3x3 id;
    id.m = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    return id;
}

CCIEXYZ CMtx3x3::Transform(const CCIEXYZ& v) const
{
    return CCIEXYZ(m[0] * v[0] + m[1] * v[1] + m[2] * v[2], m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
                   m[6] * v[0] + m[7] * v[1] + m[8] * v[2]);
}

// --- CChartDoc -----------------------------------------------------------------

ChartParams CChartDoc::DefaultParams()
{
    ChartParams params = CDocOf::DefaultParams();
    params.grayScaleTable.Resize(kDefaultGrayRows, kDefaultGrayColumns, CCIEXYZ());
    params.colorChartTable.Resize(kDefaultChartRows, kDefaultChartColumns, CCIEXYZ());
    params.colorChartReference.Resize(kDefaultChartRows, kDefaultChartColumns, CCIEXYZ());
    return params;
}

bool CChartDoc::LoadParams(const CParamFileReader& file)
{
    if (!CBaseDoc::LoadParams(file))
        return false;
    ChartParams& p = m_params;
    ReadParams(file, kSection, GetParamTable(), p);
    const int grayP = file.GetInt(kSection, kGrayScaleCol);
    const int grayQ = file.GetInt(kSection, kGrayScaleRow);
    ReadTable(file, "GC", grayP, grayQ, p.grayScaleTable);
    const int chartP = file.GetInt(kSection, kColorChartCol);
    const int chartQ = file.GetInt(kSection, kColorChartRow);
    ReadTable(file, "CC", chartP, chartQ, p.colorChartTable);
    ReadTable(file, "CR", chartP, chartQ, p.colorChartReference);
    DropPrepared();
    return true;
}

bool CChartDoc::SaveParams(CParamFileWriter& file) const
{
    if (!CBaseDoc::SaveParams(file))
        return false;
    const ChartParams& p = m_params;
    const auto& [useGrayScale, adjustBlack, adjustWhite, useColorChart] = kParamTable;
    CSaveDoc save(file);
    bool ok = WriteParam(save, useGrayScale, p);
    ok = save.WriteInt(kGrayScaleCol.key, p.grayScaleTable.GetRows()) && ok;
    ok = save.WriteInt(kGrayScaleRow.key, p.grayScaleTable.GetColumns()) && ok;
    ok = WriteTable(save, "GC", p.grayScaleTable) && ok;
    ok = WriteParam(save, adjustBlack, p) && ok;
    ok = WriteParam(save, adjustWhite, p) && ok;
    ok = WriteParam(save, useColorChart, p) && ok;
    ok = save.WriteInt(kColorChartCol.key, p.colorChartTable.GetRows()) && ok;
    ok = save.WriteInt(kColorChartRow.key, p.colorChartTable.GetColumns()) && ok;
    ok = WriteTable(save, "CC", p.colorChartTable) && ok;
    ok = WriteTable(save, "CR", p.colorChartReference) && ok;
    return ok;
}

std::string CChartDoc::GetSectionName() const
{
    return std::string(kSection);
}

bool CChartDoc::PrepareApply(const CDNGTranspose*, CAccessRGBImageByLab& source,
                             std::vector<std::string>*, double)
{
    PrepareFromWhite(source.GetWhite());
    return true;
}

bool CChartDoc::Apply(CAccessRGBImageByLab&, const CRect*, Progress, int) const
{
    return true;
}

void CChartDoc::SetGrayScaleCount(int count, const CCIEXYZ& fill)
{
    m_params.grayScaleTable.Resize(1, std::clamp(count, 0, kMaxChartDimension), fill);
}

void CChartDoc::SetColorChartSize(int P, int Q, const CCIEXYZ& fill)
{
    P = std::clamp(P, 0, kMaxChartDimension);
    Q = std::clamp(Q, 0, kMaxChartDimension);
    m_params.colorChartTable.Resize(P, Q, fill);
    m_params.colorChartReference.Resize(P, Q, fill);
}

bool CChartDoc::IsEqualXYZTable(const T2DArray<CCIEXYZ>& a, const T2DArray<CCIEXYZ>& b)
{
    if (a.GetRows() != b.GetRows() || a.GetColumns() != b.GetColumns())
        return false;
    const std::vector<CCIEXYZ>& ca = a.GetCells();
    const std::vector<CCIEXYZ>& cb = b.GetCells();
    for (std::size_t k = 0; k < ca.size() && k < cb.size(); ++k)
    {
        if (ca[k][0] != cb[k][0] || ca[k][1] != cb[k][1] || ca[k][2] != cb[k][2])
            return false;
    }
    return ca.size() == cb.size();
}

bool CChartDoc::IsZeroXYZTable(const T2DArray<CCIEXYZ>& table)
{
    for (const CCIEXYZ& patch : table.GetCells())
    {
        if (patch[0] != 0.0 || patch[1] != 0.0 || patch[2] != 0.0)
            return false;
    }
    return true;
}

void CChartDoc::MakeGrayScaleTarget(const CCIEXYZ& white, T2DArray<CCIEXYZ>& out) const
{
    out = m_params.grayScaleTable;
    const bool adjustBlack = m_params.AdjustBlackLevel != 0;
    const bool adjustWhite = m_params.AdjustWhiteLevel != 0;
    const double Wx = white[0];
    const double Wy = white[1];
    const double Wz = white[2];
    if (Wy == 0.0 || !std::isfinite(Wy))
        return; // no white to be neutral to
    std::vector<CCIEXYZ> patches = out.GetCells();
    for (CCIEXYZ& patch : patches)
        patch = CCIEXYZ(Wx * patch[1] / Wy, patch[1], Wz * patch[1] / Wy);

    if ((adjustBlack || adjustWhite) && !patches.empty())
    {
        const double L1 = patches.front().ToLab(white)[0];
        const double L2 = patches.back().ToLab(white)[0];
        // Equal L1 and L2 give a vertical line, which leaves L* as it is.
        if (L1 != L2)
        {
            CLinearFunction line;
            line.SetPoints(CPointD(L1, adjustBlack ? 3.0 : L1),
                           CPointD(L2, adjustWhite ? 97.0 : L2));
            for (CCIEXYZ& patch : patches)
            {
                CCIELab lab = patch.ToLab(white);
                lab[0] = std::clamp(line.GetValue(lab[0]), 0.0, 100.0);
                patch = lab.ToXYZ(white);
            }
        }
    }
    const int columns = out.GetColumns();
    for (std::size_t k = 0; k < patches.size(); ++k)
        out.SetAt(static_cast<int>(k) / columns, static_cast<int>(k) % columns, patches[k]);
}

void CChartDoc::AddHueAnchors(std::vector<CLChPair>& pairs)
{
    // Wide gaps between neighbouring hues get anchors that map onto
    // themselves: 20 climbing from 21 degrees past the lower hue, one in
    // the middle, 20 falling from 21 degrees before the upper hue.
    if (pairs.size() > 1)
    {
        std::vector<CLChPair> bridged;
        for (std::size_t c = 0; c < pairs.size(); ++c)
        {
            const CLChPair& d = pairs[(c + 1) % pairs.size()];
            const double hc = pairs[c].measured[2];
            const double hd = d.measured[2];
            bridged.push_back(pairs[c]);
            double gap = hd - hc;
            if (gap < 0.0)
                gap += 360.0;
            if (gap >= kHueGap)
            {
                for (int i = 1; i <= 20; ++i)
                    bridged.push_back(Anchor(hc + 20 + i));
                bridged.push_back(Anchor(hc + 0.5 * gap));
                for (int i = 1; i <= 20; ++i)
                    bridged.push_back(Anchor(hd - (20 + i)));
            }
        }
        pairs = std::move(bridged);
    }
    else if (pairs.size() == 1)
    {
        // A single patch: anchors 30, 40 and 50 degrees to either side.
        const double h = pairs.front().measured[2];
        for (const double offset : {30.0, 40.0, 50.0, -30.0, -40.0, -50.0})
            pairs.push_back(Anchor(h + offset));
        SortByMeasuredHue(pairs);
    }
}

void CChartDoc::PrepareFromWhite(const CCIEXYZ& white)
{
    PrepareGray(white);
    PrepareColor(white);
}

void CChartDoc::PrepareGray(const CCIEXYZ& white)
{
    const ChartParams& p = m_params;
    ChartPrepared& prepared = m_prepared;
    if (!p.UseGrayScale || IsZeroXYZTable(p.grayScaleTable))
    {
        prepared.grayCorrectionReady = false;
        return;
    }
    prepared.grayCorrectionReady = true;
    const std::vector<CCIEXYZ>& patches = p.grayScaleTable.GetCells();
    prepared.grayCorrection.Build(white, patches);
    if (patches.size() > 1)
    {
        // The measured lightness of the darkest and lightest grey; a black
        // level pulls the first down to 0.9 at most, a white level the last
        // up to 96.7 at least.
        const double L1 = patches.front().ToLab(white)[0];
        const double L2 = patches.back().ToLab(white)[0];
        const double T1 = p.AdjustBlackLevel ? std::min(L1, 0.9) : L1;
        const double T2 = p.AdjustWhiteLevel ? std::max(L2, 96.7) : L2;
        prepared.lightnessLine.SetPoints(CPointD(L1, T1), CPointD(L2, T2));
    }
    else
    {
        prepared.lightnessLine = CLinearFunction();
    }
}

void CChartDoc::PrepareColor(const CCIEXYZ& white)
{
    const ChartParams& p = m_params;
    std::vector<CMtx3x3>& hueMatrixTable = m_prepared.hueMatrixTable;
    if (p.UseColorChart != 1 || IsEqualXYZTable(p.colorChartTable, p.colorChartReference) ||
        IsZeroXYZTable(p.colorChartTable) || IsZeroXYZTable(p.colorChartReference))
    {
        hueMatrixTable.clear();
        return;
    }

    // 1. Pairs of measured (grey-corrected) and reference LCh, kept where
    // the measured colour has a hue worth the name, in measured-hue order.
    const std::vector<CCIEXYZ>& measured = p.colorChartTable.GetCells();
    const std::vector<CCIEXYZ>& reference = p.colorChartReference.GetCells();
    std::vector<CLChPair> pairs;
    for (std::size_t k = 0; k < measured.size() && k < reference.size(); ++k)
    {
        CCIEXYZ m = measured[k];
        m_prepared.grayCorrection.Apply(m);
        const CCIELCh mLCh = m.ToLab(white).ToLCh();
        if (mLCh[1] >= kMinChroma)
            pairs.push_back({mLCh, reference[k].ToLab(white).ToLCh()});
    }
    SortByMeasuredHue(pairs);

    // 2. Anchors across wide hue gaps, or around a single patch.
    AddHueAnchors(pairs);

    // 3. One matrix per pair: least squares from measured to reference XYZ
    // over the pair, its neighbours in the list and every pair within 60
    // degrees of measured hue, plus eleven greys from black to the white
    // (scaled on the reference side by the charts' luminance ratio).
    const std::size_t N = pairs.size();
    std::vector<CCIEXYZ> mXYZ(N);
    std::vector<CCIEXYZ> rXYZ(N);
    double sumMeasuredY = 0.0;
    double sumReferenceY = 0.0;
    for (std::size_t i = 0; i < N; ++i)
    {
        mXYZ[i] = pairs[i].measured.ToLab().ToXYZ(white);
        rXYZ[i] = pairs[i].reference.ToLab().ToXYZ(white);
        sumMeasuredY += mXYZ[i][1];
        sumReferenceY += rXYZ[i][1];
    }
    const double ratio =
        (sumMeasuredY > 0.0 && sumReferenceY > 0.0) ? sumReferenceY / sumMeasuredY : 1.0;
    const double cosLimit = std::cos(kSixtyDegrees);

    std::vector<double> hues(N);
    std::vector<CMtx3x3> matrices(N);
    std::vector<double> xs;
    std::vector<double> ys;
    for (std::size_t m = 0; m < N; ++m)
    {
        const std::size_t p = m == 0 ? N - 1 : m - 1;
        const std::size_t n = m + 1 == N ? 0 : m + 1;
        const double hm = pairs[m].measured[2];
        // Samples as columns of 3 x count matrices, gathered row by row.
        std::vector<std::size_t> chosen;
        for (std::size_t i = 0; i < N; ++i)
        {
            if (i == m || i == n || i == p ||
                std::cos(Radians(pairs[i].measured[2] - hm)) > cosLimit)
                chosen.push_back(i);
        }
        const std::size_t count = chosen.size() + 11;
        xs.assign(3 * count, 0.0);
        ys.assign(3 * count, 0.0);
        for (std::size_t col = 0; col < count; ++col)
        {
            CCIEXYZ x;
            CCIEXYZ y;
            if (col < chosen.size())
            {
                x = mXYZ[chosen[col]];
                y = rXYZ[chosen[col]];
            }
            else
            {
                const double k = static_cast<double>(col - chosen.size()) / 10.0;
                x = white * k;
                y = white * (ratio * k);
            }
            for (std::size_t r = 0; r < 3; ++r)
            {
                xs[r * count + col] = x[r];
                ys[r * count + col] = y[r];
            }
        }
        const auto columns = static_cast<std::uint32_t>(count);
        CPresumptionMatrix M;
        // Samples that admit no least-squares map (degenerate inputs) leave
        // the colours as they are.
        if (M.Presume(CStdMatrix(3, columns, xs), CStdMatrix(3, columns, ys)))
            matrices[m] = CMtx3x3(M);
        else
            matrices[m] = CMtx3x3::Identity();
        hues[m] = Radians(hm);
    }

    // 4. The hue table: slot a (degree a) blends the matrices of the two
    // results whose hues enclose it, linearly in hue; with two results or
    // fewer the table stays as it was.
    if (N <= 2)
        return;
    const double turn = 2.0 * kPi;
    hueMatrixTable.assign(360, CMtx3x3());
    for (int a = 0; a < 360; ++a)
    {
        const double t = a / 360.0 * turn;
        std::size_t s = N - 1;
        for (std::size_t k = 0; k < N; ++k)
        {
            const double hs = hues[k];
            const double hn = hues[(k + 1) % N];
            const bool inside = hs < hn ? (hs <= t && t < hn) : (t >= hs || t < hn);
            if (inside)
            {
                s = k;
                break;
            }
        }
        const std::size_t next = (s + 1) % N;
        double D = hues[next] - hues[s];
        if (D < 0.0)
            D += turn;
        double F = t - hues[s];
        if (F < 0.0)
            F += turn;
        // Two results of the same hue enclose no angle: the slot leaves the
        // colour unchanged rather than divide by zero.
        if (D == 0.0)
            hueMatrixTable[a] = CMtx3x3::Identity();
        else
            hueMatrixTable[a] = Blend(matrices[s], (D - F) / D, matrices[next], F / D);
    }
}
