#pragma once
// The filter step, slot 7: an unsharp mask on the CIE lightness L*.
//
// A blurred lightness b is made from a 16-bit plane of L* x 655.35 that
// covers the processed region and a border around it; each pixel's L*
// moves away from b by Amount percent of the difference d = L* - b when
// |d| reaches Threshold / 255 x 20 L* units:
//     L*' = clamp(L* + d Amount / 100, 0, 100),   a*, b* kept.
//
// The blur is a Gaussian of size s = Radius / 10 pixels (scaled with the
// preview and with a region drawn at another size),
//     w(dx, dy) = n exp(-(dx^2 + dy^2) a),   a = 1 / (2 s^2),  n = a / pi,
// sampled on a sparse 7 x 7 grid step = R / 3 pixels apart, where
// R = max(3, r) and r = sqrt(ln 20 / a) is where the Gaussian has fallen
// to a twentieth of its peak; only the samples within R count. For a wide
// blur the samples lie several pixels apart, so a box mean of width
// 2h + 1 (h = step / 2) runs over the plane first, in two separable
// passes: the cost per pixel stays at most 49 samples whatever the radius.

#include "core/Rect.h"
#include "correction/BaseDoc.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The persisted parameters of the unsharp mask.
struct FilterParams
{
    // Blur radius in tenths of a pixel, 0..1000; 0 switches the filter off.
    int Radius = 0;
    // Strength in percent, 1..500.
    int Amount = 50;
    // 0..255: the smallest lightness difference that is sharpened is
    // Threshold / 255 x 20 L* units.
    int Threshold = 0;

    bool operator==(const FilterParams&) const = default;
};

// The plane values (L* x 655.35) of every pixel of an image, row-major.
// They do not depend on the filter's values: an owner of the image keeps
// them across changes of the filter while the image stays the same.
struct FilterLightness
{
    std::vector<std::uint16_t> cells;
    int width = 0;
    int height = 0;
};

// One sample of the sparse blur kernel: its offset and its weight
// (normalised, and scaled by 1 / 655.35 so that a weighted sum of plane
// values is L* directly).
struct FilterKernelSample
{
    int dx = 0;
    int dy = 0;
    double weight = 0.0;
};

// What the filter prepares: the preview scale (PrepareApply), and for the
// region ApplyRect hands to Apply the kernel and the lightness plane.
struct FilterPrepared
{
    double previewScale = 1.0;
    std::vector<FilterKernelSample> kernel;
    CRect kernelMargins;
    CRect boxSpread;
    // L* x 655.35 of the region and its border, row-major; cell (px, py)
    // stands for region position (px + margins.left, py + margins.top).
    // The border is filled by the preparation; Apply writes the region's
    // own cells and box-filters the plane in place, so the plane is the
    // one buffer Apply works in (sized here: Apply allocates none).
    mutable std::vector<std::uint16_t> plane;
    int planeWidth = 0;
    int planeHeight = 0;
    // Set while ApplyRect has prepared the plane for the region it hands to
    // Apply.
    bool planeReady = false;
    // The lightness of the source ApplySamples is given, when its owner
    // keeps it (UseSourceLightness); read in place of converting the
    // source's pixels again when its size is the source's.
    std::shared_ptr<const FilterLightness> sourceLightness;
};

class CFilterDoc : public CDocOf<CFilterDoc, FilterParams, FilterPrepared>
{
public:
    using KernelSample = FilterKernelSample;

    static constexpr ParamDef<FilterParams> kParamTable[] = {
        {"Radius", &FilterParams::Radius, 0, 0, 1000},
        {"Amount", &FilterParams::Amount, 50, 1, 500},
        {"Threshold", &FilterParams::Threshold, 0, 0, 255},
    };

    static constexpr int kTileWidth = 128;
    static constexpr int kTileHeight = 128;
    // L* x 655.35 is a plane value (0..100 onto 0..65535).
    static constexpr double kLightnessScale = 655.35;
    // The blur sizes a kernel is built for: below the lower end the
    // Gaussian is a single sample already; the upper end is twice the
    // widest blur of a full-size image (Radius 1000), which keeps the
    // plane's border within reason for enlarged previews and odd scales.
    static constexpr double kMinBlurSize = 0.01;
    static constexpr double kMaxBlurSize = 200.0;

    CFilterDoc() = default;

    bool LoadParams(const CParamFileReader& file) override;
    bool SaveParams(CParamFileWriter& file) const override;
    std::string GetSectionName() const override;

    // Keeps the scale (1.0 at full size) for the blur size.
    bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                      std::vector<std::string>* details, double scale) override;

    // Radius 0: the base's ApplyRect. Otherwise the region's preparation:
    // the kernel for the blur size of the destination's scale and the
    // plane, its border filled from the source (nearest pixel, as the base
    // samples); then the base copies the region and runs Apply on it, and
    // the plane is let go. Without a destination the region is sharpened
    // in place, its border read from the image around it.
    bool ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                   CAccessRGBImageByLab* destination, const CRect* destinationRect,
                   Progress progress, int mode) override;

    // The sharpening reads the neighbours.
    bool WorksPixelByPixel() const override { return false; }

    // The pixels shown sharpened at the image's own size: each from its
    // neighbourhood at full resolution, read from source around it, so
    // that it is the pixel of the whole image sharpened, wherever it lies.
    bool ApplySamples(CAccessRGBImageByLab& source, std::span<const int> columns,
                      std::span<const int> rows, CAccessRGBImageByLab& destination,
                      Progress progress, const SampleRowsDone& done) override;

    void GetTileSize(int& width, int& height) const override;

    // The lightness of every pixel of source (as the plane holds it), in
    // row bands. Null when it cannot be held.
    static std::shared_ptr<const FilterLightness>
    MakeSourceLightness(const CAccessRGBImageByLab& source);
    // The lightness of the source the next ApplySamples calls are given
    // (null: none, each works it out from the source). The caller vouches
    // that it is that of the source's current pixels and working space.
    void UseSourceLightness(std::shared_ptr<const FilterLightness> lightness)
    {
        m_prepared.sourceLightness = std::move(lightness);
    }

    // Sharpens the rectangle (null: the whole image) in place. Called on
    // its own it prepares the kernel and the plane's border from the image
    // around the rectangle, as ApplyRect without a destination does.
    bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
               int mode) const override;

    // Builds the kernel, the box spread and the margins for blur size s
    // (held within kMinBlurSize..kMaxBlurSize; not a number counts as the
    // smallest size).
    void BuildKernel(double s);

    const std::vector<KernelSample>& GetKernel() const { return m_prepared.kernel; }
    const CRect& GetKernelMargins() const { return m_prepared.kernelMargins; }
    const CRect& GetBoxSpread() const { return m_prepared.boxSpread; }
    double GetPreviewScale() const { return m_prepared.previewScale; }

private:
    // Kernel (for blurSize) and plane for a region of width x height that
    // stands for sourceRegion of source, with the plane's border cells
    // filled from source. False when the plane cannot be held.
    bool PreparePlane(CAccessRGBImageByLab& source, const CRect& sourceRegion, int width,
                      int height, double blurSize);
    void DropPlane();
};
