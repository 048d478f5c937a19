#pragma once
// CPrintTrimSettingDlg: the trimming of the printed image typed as four
// distances on the paper, in millimetres with one decimal: how much is cut
// away at the left, right, top and bottom of the image as printed. The
// single-image print dialog fills in its current margins and the limits
// (print width and height less 0.1 mm) and, on OK, reads the four texts.
//
// The two margins of a pair (left and right against the width limit, top
// and bottom against the height limit) may together take at most the
// limit, so each edit's and spin's maximum is the limit less its opposite
// value and follows every change of it.

#include "controls/dialogs/DataDialog.h"

#include <QString>

#include <array>

class CMyEdit;
class CUpDown;

// The four sides in the order the OK check reads them.
enum class TrimSide
{
    Left,
    Top,
    Right,
    Bottom
};

// What OK finds in four margins (0.1 mm).
struct TrimSettingCheck
{
    enum class Result
    {
        Accepted,
        Negative, // side names the first negative margin (11081)
        TooLarge  // a pair exceeds its limit (11082)
    };
    Result result = Result::Accepted;
    TrimSide side = TrimSide::Left;
    bool operator==(const TrimSettingCheck&) const = default;
};

// Negative margins first, in the order left, top, right, bottom; then the
// pairs: left + right <= width limit and top + bottom <= height limit.
TrimSettingCheck CheckTrimSettings(int left, int top, int right, int bottom, int widthLimit,
                                   int heightLimit);

inline constexpr int kStrTrimNotPositive = 11081; // "正の値を入力してください。"
inline constexpr int kStrTrimTooLarge = 11082;    // "設定値が大きすぎます。"

class CPrintTrimSettingDlg : public CDataDialog
{
    Q_OBJECT
public:
    static constexpr int kIdLeft = 11245, kIdLeftSpin = 11246;
    static constexpr int kIdRight = 11247, kIdRightSpin = 11248;
    static constexpr int kIdTop = 11249, kIdTopSpin = 11250;
    static constexpr int kIdBottom = 11251, kIdBottomSpin = 11252;
    static constexpr int kIdReset = 11253;

    explicit CPrintTrimSettingDlg(QWidget* parent = nullptr);

    // Set before exec() (0.1 mm): print width - 1 and print height - 1.
    int m_nWidthLimit = 0;
    int m_nHeightLimit = 0;
    // The margins in millimetres as text ("%.1f"); read after OK.
    QString m_strLeft = QStringLiteral("0.0");
    QString m_strRight = QStringLiteral("0.0");
    QString m_strTop = QStringLiteral("0.0");
    QString m_strBottom = QStringLiteral("0.0");

    // The texts into the edits; each maximum and spin range from the
    // opposite value, the spins at the values.
    void writeControls() override;
    // The OK check; a refusal shows its message and keeps the dialog open
    // (the strings unchanged), acceptance takes the texts into the strings.
    bool readControls() override;

    // All four back to 0.0 with the full limits.
    void OnReset();

private:
    // The sides in their storage order: left, right, top, bottom.
    enum Index
    {
        kLeft,
        kRight,
        kTop,
        kBottom,
        kSideCount
    };
    struct Side
    {
        CMyEdit* edit = nullptr;
        CUpDown* spin = nullptr;
    };

    static int Opposite(int index);
    int LimitOf(int index) const;
    // The opposite side's maximum after this side took value.
    void FollowOpposite(int index, int value);
    void SetMaximum(int index, int maximum);
    void onNotify(int message, int code, qint64 value);
    QString* TextOf(int index);

    std::array<Side, kSideCount> m_sides{};
};
