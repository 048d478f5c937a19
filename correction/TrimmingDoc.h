#pragma once
// The trimming and resizing step (slot 3): a trimming rectangle on the
// image the record was set up for, a ratio type for it, and an output size
// in pixels or in hundredths of a millimetre at a resolution. The trimming
// panel edits it and shows the rectangle on its preview; the batch resizes
// every result through it into a requested box.
//
// Size limits of an image side of L pixels: at least min(L, 50) (50 also
// for L <= 0), at most max(L, 4000); in millimetres the same limits at the
// output resolution, limit / dpi * 25.4.

#include "correction/BaseDoc.h"

// The persisted record, in the order of its keys in "qzTrimmingDoc".
struct TrimmingRecord
{
    int OrgWidth = 0; // the image the rectangle was set on, pixels
    int OrgHeight = 0;
    int TrmPosX = 0; // the trimming rectangle
    int TrmPosY = 0;
    int TrmWidth = 0;
    int TrmHeight = 0;
    int TrmRatioType = 9; // 0..13; 0..8 have a fixed pair, 9 is free
    int SizeMode = 0;     // 0 pixels, 1 millimetres (what the panel shows)
    int SizePixelWidth = 0;
    int SizePixelHeight = 0;
    int SizeMMWidth100 = 0; // hundredths of a millimetre
    int SizeMMHeight100 = 0;
    int SizeDPI = 300;
    int SizeRatioFix = 1; // keep the aspect ratio of the output size

    bool operator==(const TrimmingRecord&) const = default;
};

// The record and the resolution of the image it was set up for: the
// resolution travels with copies and takes part in comparing, but is not
// saved (a loaded record's set-up resolution is unknown).
struct TrimmingParams : TrimmingRecord
{
    int SetupResolution = -1; // dpi; -1 unknown

    bool operator==(const TrimmingParams&) const = default;
};

class CTrimmingDoc : public CDocOf<CTrimmingDoc, TrimmingParams>
{
public:
    using TrimRecord = TrimmingRecord;

    // The record's keys in file order. Each value is read as any integer;
    // the record is checked as a whole (IsValidTrimRecord), the ranges here
    // are those of the panel's controls.
    static constexpr ParamDef<TrimmingParams> kParamTable[] = {
        {"OrgWidth", &TrimmingParams::OrgWidth, 0, 0, 2147483647, ParamRead::AnyValue},
        {"OrgHeight", &TrimmingParams::OrgHeight, 0, 0, 2147483647, ParamRead::AnyValue},
        {"TrmPosX", &TrimmingParams::TrmPosX, 0, 0, 2147483647, ParamRead::AnyValue},
        {"TrmPosY", &TrimmingParams::TrmPosY, 0, 0, 2147483647, ParamRead::AnyValue},
        {"TrmWidth", &TrimmingParams::TrmWidth, 0, 0, 2147483647, ParamRead::AnyValue},
        {"TrmHeight", &TrimmingParams::TrmHeight, 0, 0, 2147483647, ParamRead::AnyValue},
        {"TrmRatioType", &TrimmingParams::TrmRatioType, 9, 0, 13, ParamRead::AnyValue},
        {"SizeMode", &TrimmingParams::SizeMode, 0, 0, 1, ParamRead::AnyValue},
        {"SizePixelWidth", &TrimmingParams::SizePixelWidth, 0, 0, 2147483647, ParamRead::AnyValue},
        {"SizePixelHeight", &TrimmingParams::SizePixelHeight, 0, 0, 2147483647,
         ParamRead::AnyValue},
        {"SizeMMWidth100", &TrimmingParams::SizeMMWidth100, 0, 0, 2147483647, ParamRead::AnyValue},
        {"SizeMMHeight100", &TrimmingParams::SizeMMHeight100, 0, 0, 2147483647,
         ParamRead::AnyValue},
        {"SizeDPI", &TrimmingParams::SizeDPI, 300, 50, 1200, ParamRead::AnyValue},
        {"SizeRatioFix", &TrimmingParams::SizeRatioFix, 1, 0, 1, ParamRead::AnyValue},
    };

    static constexpr int kFreeRatioType = 9;
    static constexpr int kMaxRatioType = 13;
    static constexpr int kMinDPI = 50;
    static constexpr int kMaxDPI = 1200;
    static constexpr int kMinTrimSide = 50;
    static constexpr int kMaxOutputSide = 4000;

    CTrimmingDoc() = default;

    // A record that IsValidTrimRecord refuses, or whose OrgWidth is not
    // positive, is replaced by the reset values; the set-up resolution
    // becomes unknown either way.
    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;

    // Crops to the trimming rectangle (when the step is enabled and the
    // image has the record's size) and resizes: to SizePixelWidth x
    // SizePixelHeight in size mode 1, into the box of a size request of
    // mode 3 (keeping the aspect ratio, never enlarging, never a side of
    // 0). The resampled image goes through a temporary raw file in the
    // program's temporary folder and is read back into a spare image that
    // replaces this one only when everything succeeded. False when
    // progress asked to stop or the temporary file failed (the image then stays
    // as it was). A size mismatch appends the batch log's detail line.
    bool ProcessImage(CRGBImage& image, const CPow1by3Table* cubeRoots, const CStdMatrix& rgbToXyz,
                      const CDNGTranspose* raw, double scale, const BatchSizeRequest* sizeRequest,
                      Progress progress, std::vector<std::string>* details) override;

    // Mode 2 with a destination: the panel's preview, sampled as the base
    // samples, with every pixel outside the trimming rectangle darkened to
    // a quarter. Otherwise the base's ApplyRect.
    bool ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                   CAccessRGBImageByLab* destination, const CRect* destinationRect,
                   Progress progress, int mode) override;

    // The preview darkens by the place.
    bool WorksPixelByPixel() const override { return false; }

    // The preview's picture of the pixels shown: each one darkened to a
    // quarter when its place lies outside the trimming rectangle.
    bool ApplySamples(CAccessRGBImageByLab& source, std::span<const int> columns,
                      std::span<const int> rows, CAccessRGBImageByLab& destination,
                      Progress progress, const SampleRowsDone& done) override;

    // Called by the panel when an image is shown: a resolution of 0 or less
    // counts as 300 dpi; a new image size (or reset) sets the rectangle to
    // the whole image and the free ratio; a new size, reset or an output
    // size of 0 sets the output to the image's size at its resolution.
    void SetOriginalSize(bool reset, int width, int height, int resolution);

    int GetMinTrimWidth() const;
    int GetMinTrimHeight() const;
    int GetMaxTrimWidth() const;
    int GetMaxTrimHeight() const;
    double GetMinTrimWidthMM() const;
    double GetMinTrimHeightMM() const;
    double GetMaxTrimWidthMM() const;
    double GetMaxTrimHeightMM() const;

    // The limits of one side of size pixels.
    static int MinTrimSize(int size);
    static int MaxTrimSize(int size);
    // The same in millimetres at resolution dpi.
    static double MinTrimSizeToMM(int size, int resolution);
    static double MaxTrimSizeToMM(int size, int resolution);

    // The width : height pair of a ratio type 0..8; false (outputs left
    // alone) for the others.
    static bool GetPaperSizeMM(int& width, int& height, int ratioType);

    static bool IsValidTrimRecord(const TrimRecord& record);

    // The size that fits w x h into a box keeping the aspect ratio (rounded
    // to the nearest pixel, never below 1), or w x h when it fits already.
    static void FitIntoBox(int w, int h, int boxWidth, int boxHeight, int& outWidth,
                           int& outHeight);

    const TrimRecord& GetTrimRecord() const { return m_params; }
    TrimRecord& GetTrimRecord() { return m_params; }
    int GetSetupResolution() const { return m_params.SetupResolution; }
    void SetSetupResolution(int resolution) { m_params.SetupResolution = resolution; }
};

// Resamples the rectangle rect of source into out, created at newWidth x
// newHeight: per axis bilinear when enlarging, area averaging when reducing
// (the raw image file writer's filter, pixel for pixel the same), with the
// horizontal pass made once per source row and the output rows spread over
// the step threads (output identical to one thread). progress, when
// given, hears of the output rows as from RunRowBands (percent). False (out left
// empty) when the rectangle does not lie inside source, a size is not
// positive or above CRGBImage::kMaxDimension, memory is short or
// progress asked to stop.
bool ResampleImageRect(CRGBImage& source, const CRect& rect, int newWidth, int newHeight,
                       CRGBImage& out, Progress progress = {});
