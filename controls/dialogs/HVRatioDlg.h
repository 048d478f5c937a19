#pragma once
// A custom aspect ratio for the trimming: width and height, each 1..1000,
// whose ratio lies within 1:10..10:1. OK with a steeper ratio shows
// message 1025 and keeps the dialog open with the values.

#include "controls/dialogs/DataDialog.h"

#include <QString>

#include <algorithm>

class QLabel;
class QSpinBox;

inline constexpr int kStrAspectRatioRange = 1025;

inline constexpr int kRatioSideMin = 1;
inline constexpr int kRatioSideMax = 1000;
inline constexpr double kRatioMax = 10.0;

// The longer side over the shorter (as a real number) is at most 10; a
// ratio of exactly 10 is allowed. Sides below 1 are never allowed.
constexpr bool IsAspectRatioAllowed(int width, int height)
{
    if (width < kRatioSideMin || height < kRatioSideMin)
        return false;
    return static_cast<double>(std::max(width, height)) / std::min(width, height) <= kRatioMax;
}

class CHVRatioDlg : public CDataDialog
{
    Q_OBJECT
public:
    explicit CHVRatioDlg(QWidget* parent = nullptr);

    // Set before exec(); width and height read after OK.
    QString m_strName;
    int m_nWidth = 1;
    int m_nHeight = 1;

    void writeControls() override;
    // False when a side lies outside 1..1000 (the focus goes to it).
    bool readControls() override;

public slots:
    void accept() override;

private:
    QLabel* m_title = nullptr;
    QSpinBox* m_width = nullptr;
    QSpinBox* m_height = nullptr;
};
