#pragma once
// The rules of the wizard's white adjustment (the candidate-picture page
// and the chromaticity-diagram page), apart from the widgets.
//
// The monitor's white is moved by its three RGB gains. A target white
// chromaticity (x, y) becomes gains through the model's primaries
// (CDisplay::ComputeWhiteGains); the pages then keep each gain within the
// maximum the monitor reported for it.
//
// A white can only be aimed at when there is one: a target that is not a
// chromaticity (no stored point, a point off the chromaticity plane, NaN)
// is a failed measurement and writes nothing, never the point (0, 0)
// turned into gains. A gain maximum of 0 gives no range to set a gain in:
// the gains are refused rather than written as 0 (a black screen).
//
// Qt-free.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class CDisplay;
class CIniFile;

// One chromaticity.
struct WhiteXy
{
    double x = 0.0;
    double y = 0.0;
};

// The white the chart pictures are made for, D65 (95.043, 100, 108.879),
// and the 5000 K room light's white, D50 (96.42, 100, 82.49), as xy.
WhiteXy ChartWhiteXy();
WhiteXy D50WhiteXy();

// ---------------------------------------------------------------- page 5

// The candidate grid: nine pictures in three rows, each showing the chart
// under the current target moved by one step in its direction (x to the
// right, y upward); the centre is the target itself.
inline constexpr double kCandidateStep = 0.01;
inline constexpr int kCandidateCount = 9;
inline constexpr int kCandidateCentre = 4;
// The control ids of the nine pictures, row by row from the top left.
inline constexpr std::array<int, kCandidateCount> kCandidateIds = {1349, 1350, 1351, 1352, 1353,
                                                                   1354, 1355, 1356, 1357};
struct CandidateDirection
{
    int dx = 0; // -1 left (bluer), +1 right (redder)
    int dy = 0; // +1 up (greener), -1 down
};
// Direction of cell 0..8 (out of range: no move).
CandidateDirection CandidateDirectionOf(int cell);

// A clicked picture moves the target by a step and keeps it inside the
// range the pictures cover: x 0.2788..0.4362, y 0.292..0.4061. A
// coordinate that does not move is left as it is, even outside the range.
inline constexpr double kTargetMinX = 0.2788;
inline constexpr double kTargetMaxX = 0.4362;
inline constexpr double kTargetMinY = 0.292;
inline constexpr double kTargetMaxY = 0.4061;
WhiteXy MoveTarget(WhiteXy target, CandidateDirection direction, double step = kCandidateStep);
// The white a cell shows for the target (moved, not clamped).
WhiteXy CandidateWhite(WhiteXy target, int cell, double step = kCandidateStep);
// XYZ with Y = 100 of a chromaticity (the picture's display white).
std::array<double, 3> WhiteXYZ(WhiteXy xy);

// ---------------------------------------------------------------- page 6

// The room-light preset's white the diagram starts from when no point has
// been confirmed: preset 4 (5000 K) D50, preset 5 (6500 K) D65; none for
// other presets (the point stays).
std::optional<WhiteXy> SeedPointForPreset(int preset);

// ---------------------------------------------------------------- gains

// A chromaticity that a white can be aimed at: finite, x > 0, y > 0,
// x + y < 1.
bool IsMeasurableChromaticity(WhiteXy xy);

// What happened to a request for white gains.
enum class WhiteGainStatus
{
    Written,     // gains computed and written
    NoPoint,     // no current chromaticity: nothing to aim at
    NoModelData, // the model's primaries are missing: the gains cannot be computed
    NoGainRange, // the monitor reported a gain maximum of 0
    NotAnswered, // the monitor did not answer the gain range reads
};

// The monitor's gains as a page reads them at its first activation:
// maximum and current value per channel (red, green, blue), and whether
// each read succeeded.
struct WhiteGainRanges
{
    std::array<std::uint16_t, 3> maxima{};
    std::array<std::uint16_t, 3> initial{};
    std::array<bool, 3> read{};

    // Why gains cannot be set, or Written when they can.
    WhiteGainStatus Usable() const;
    std::vector<std::uint16_t> Maxima() const { return {maxima[0], maxima[1], maxima[2]}; }
};

// The gain range reads of controls 3, 4, 5, each followed by a pause of
// 200 ms through `wait` (a page passes the sheet's Wait).
WhiteGainRanges ReadWhiteGainRanges(CDisplay& display, const std::function<void(int)>& wait);

// Each gain lowered to its own maximum where it exceeds it.
void ClampGainsToMaxima(std::vector<std::uint16_t>& gains, const std::array<std::uint16_t, 3>& maxima);

// The gains for a target white, or why there are none. On success `gains`
// holds red, green, blue within their maxima.
WhiteGainStatus PrepareWhiteGains(const CDisplay& display, const std::optional<WhiteXy>& target,
                                  const WhiteGainRanges& ranges, std::vector<std::uint16_t>& gains);

// ---------------------------------------------------------------- settings

// Section "DetailMode" of the program's settings: whether a diagram point
// was confirmed ("SetCIExy") and the diagram's point when the page was
// last closed ("CurCIEx", "CurCIEy").
struct DetailModeSettings
{
    int setCIExy = 0;
    std::optional<WhiteXy> current; // absent when either coordinate is missing
};
DetailModeSettings LoadDetailModeSettings(const CIniFile& ini);
void SavePointSetFlag(CIniFile& ini, int setCIExy);
void SaveCurrentPoint(CIniFile& ini, WhiteXy point);
