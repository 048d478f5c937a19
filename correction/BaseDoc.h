#pragma once
// The step document: the base of the seven correction steps (slot order: 1
// RAW development, 2 chart, 3 trimming, 4 gradation, 5 colour tone, 6
// chosen colour, 7 filter). Each step keeps its persisted parameters in
// one document, derived from CBaseDoc, through which the project, the
// batch, printing and the step panels handle any step alike: reset, copy
// and compare, load and save one section of the parameter file, and apply
// the step to the 16-bit working image, whole or tile by tile.
//
// Three kinds of state per document: the parameters (reset, copied,
// compared, saved; one record declared by one table, see CDocOf), the
// prepared data that PrepareApply derives from the parameters and the
// image (tables, matrices; never saved, compared or copied), and nothing
// of a panel's state.
//
// Progress: a step reports percent done (0 to 100) through a Progress
// (core/Progress.h); an answer false stops it.
//
// Applying: PrepareApply (which may fail) runs on the image first, then
// ApplyRect (which may prepare one region's data, as the filter's plane)
// and the const Apply, which reads parameters and prepared data only. Rows
// of a whole-image Apply are independent, so a document may spread them over
// threads through RunRowBands (core/RowBands.h), whose output is identical to
// one thread.

#include "core/RGB16.h"
#include "core/Rect.h"
#include "core/RowBands.h"
#include "correction/ParamFile.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CRGBImage;
class CStdMatrix;
class CPow1by3Table;
class CDNGTranspose;
class CAccessRGBImage;
class CAccessRGBImageByLab;

// The batch's size request for one entry: size mode 1 = no request, 2 = keep
// the size, 3 = resize into the box width x height (keeping the aspect
// ratio, never enlarging).
struct BatchSizeRequest
{
    int sizeMode = 1;
    int width = 0;
    int height = 0;
};

// The answer of IsStepEnabled for every document of the process. The
// product runs with every step disabled (this edition applies a document
// only where it is called directly: a panel's live preview, the batch's
// resizing); tests switch the full chain on.
enum class StepEditionPolicy
{
    AllStepsDisabled, // the product
    AllStepsEnabled,
};
void SetStepEditionPolicy(StepEditionPolicy policy);
StepEditionPolicy GetStepEditionPolicy();

// Sets the policy for its lifetime and restores the previous one.
class ScopedStepEditionPolicy
{
public:
    explicit ScopedStepEditionPolicy(StepEditionPolicy policy);
    ~ScopedStepEditionPolicy();
    ScopedStepEditionPolicy(const ScopedStepEditionPolicy&) = delete;
    ScopedStepEditionPolicy& operator=(const ScopedStepEditionPolicy&) = delete;

private:
    StepEditionPolicy m_previous;
};

class CBaseDoc
{
public:
    // Section names in slot order.
    static constexpr std::string_view kDNGParamSection = "qzDNGParamDoc";
    static constexpr std::string_view kChartSection = "qzChartDoc";
    static constexpr std::string_view kTrimmingSection = "qzTrimmingDoc";
    static constexpr std::string_view kGrayCalibSection = "qzGrayCalibDoc";
    static constexpr std::string_view kColorCalibSection = "qzColorCalibDoc";
    static constexpr std::string_view kColorChangeSection = "qzColorChangeDoc";
    static constexpr std::string_view kFilterSection = "qzFilterDoc";

    // The value of "Ver" in every section head.
    static constexpr std::string_view kParamVersion = "2.0";

    // The default tile of ApplyRect previews.
    static constexpr int kDefaultTileWidth = 256;
    static constexpr int kDefaultTileHeight = 256;

    // The title is empty. (A subclass's constructor calls its own Reset:
    // the base constructor cannot reach the subclass's override.)
    CBaseDoc() = default;
    virtual ~CBaseDoc() = default;

    // Empties the title. A subclass calls the base first, then restores its
    // own defaults.
    virtual void Reset();

    // A new document of the same class, a copy of this one (parameters and
    // title; prepared data as the class's copy defines it).
    virtual std::unique_ptr<CBaseDoc> Clone() const = 0;

    // Copies every parameter, title included, from a document of the same
    // class; a document of another class leaves this one unchanged.
    virtual void Assign(const CBaseDoc& other) = 0;

    // The base answers true; a subclass compares its class and every
    // parameter.
    virtual bool IsEqual(const CBaseDoc& other) const;

    // Whether the project applies this step: the one shared answer of the
    // edition (false in the product). Never overridden.
    bool IsStepEnabled() const;

    void SetTitle(std::string_view title) { m_title = title; }
    std::string GetTitle() const { return m_title; }

    // Reads "Title" of the document's section (empty when missing). A
    // subclass calls the base first and then reads its keys, replacing
    // values that are missing, unparsable or out of range by their
    // defaults. True unless the document refused the section as a whole.
    // An empty section name reads nothing.
    virtual bool LoadParams(const CParamFileReader& file);

    // Begins the document's section with "Ver" = "2.0" and "Title". A
    // subclass calls the base first and then appends its keys through a
    // CSaveDoc on the same writer. False when any write was refused. An
    // empty section name writes nothing (and succeeds).
    virtual bool SaveParams(CParamFileWriter& file) const;

    // Applies the step to a whole working image: wraps it in a Lab accessor
    // on the cube-root table (null: the process-wide one) and the working
    // space's RGB-to-XYZ matrix, runs PrepareApply (raw, accessor, details,
    // scale), then ApplyRect (accessor, whole image, no destination, mode
    // 1). raw: the image's RAW description or null; scale: 1.0 at full
    // size (print development passes the developed width over the file's
    // width); sizeRequest: the batch's, or null; details: the batch log's
    // detail lines, or null. False when a step failed or was cancelled.
    virtual bool ProcessImage(CRGBImage& image, const CPow1by3Table* cubeRoots,
                              const CStdMatrix& rgbToXyz, const CDNGTranspose* raw, double scale,
                              const BatchSizeRequest* sizeRequest, Progress progress,
                              std::vector<std::string>* details);

    // The step's precomputation for the image it will be applied to
    // (tables, matrices, curves). The project prepares preview documents
    // with the RAW description, no detail lines and scale 1.0. The base
    // does nothing. False when the step cannot be applied.
    virtual bool PrepareApply(const CDNGTranspose* raw, CAccessRGBImageByLab& source,
                              std::vector<std::string>* details, double scale);

    // Applies the step to a rectangle of source (null: the whole image).
    // Without a destination: Apply (source, sourceRect). With one: the
    // source rectangle is copied into the destination rectangle (null: the
    // whole destination image), row by row when the sizes agree, else by
    // nearest-pixel sampling (see SampleIndex), and then Apply runs on the
    // destination rectangle. Mode: 1 whole image, 2 preview (documents
    // give it their own meaning). False when cancelled.
    virtual bool ApplyRect(CAccessRGBImageByLab& source, const CRect* sourceRect,
                           CAccessRGBImageByLab* destination, const CRect* destinationRect,
                           Progress progress, int mode);

    // Whether the step changes each pixel on its own, whatever its place
    // and its neighbours, so that Apply on pixels gathered from anywhere
    // gives each the same as on the image (mode 2 included). The base and
    // the steps that work pixel by pixel answer true; a step that reads a
    // pixel's place or its neighbours answers false.
    virtual bool WorksPixelByPixel() const { return true; }

    // Rows [first, end) of ApplySamples' destination are final. Called on
    // the thread that finished them, on several threads at once, each row
    // once, so that the caller takes them on (converts them) in the same
    // row band.
    using SampleRowsDone = std::function<void(int first, int end)>;

    // The step as a reduced picture shows it: destination pixel (i, j) is
    // what the step makes of source pixel (columns[i], rows[j]) in place,
    // the image around it included, as the preview (mode 2) applies it; the
    // destination is columns.size() x rows.size(). The positions lie inside
    // the source and never decrease. Only those pixels are worked out, on
    // the row threads (output identical to one thread); done, when given,
    // hears of the rows as they are finished. The base copies the pixels
    // and runs Apply (mode 2) on the destination, which is right for a step
    // that changes each pixel on its own whatever its place; a step that
    // reads the place or the neighbours overrides it. False when the
    // arguments do not fit or progress asked to stop.
    virtual bool ApplySamples(CAccessRGBImageByLab& source, std::span<const int> columns,
                              std::span<const int> rows, CAccessRGBImageByLab& destination,
                              Progress progress, const SampleRowsDone& done);

    // The tile of ApplyRect previews: 256 x 256 unless a step asks less.
    virtual void GetTileSize(int& width, int& height) const;

    // The step's pixel operation on a rectangle (null: the whole image) in
    // place, reading only the parameters and the prepared data. False when
    // progress asked to stop. The base changes no pixel and only reports
    // row progress (ReportRowPercent).
    virtual bool Apply(CAccessRGBImageByLab& image, const CRect* rect, Progress progress,
                       int mode) const;

    // The document's section in the parameter file; the base has none.
    virtual std::string GetSectionName() const;

    // Nearest-pixel sampling of a destination span of dstLength pixels
    // from a source span of srcLength pixels starting at srcStart, with
    // integer division: index of destination position i is
    //     srcStart + i * srcLength / dstLength + (srcLength / dstLength) / 2
    // clamped to limit - 1 (the last column or row of the source image).
    // A destination half as large takes every second pixel from offset 1.
    static int SampleIndex(int i, int srcStart, int srcLength, int dstLength, int limit);

    // Whether columns x rows can be ApplySamples' positions in source and
    // destination its image: sizes agree, positions inside and never
    // decreasing.
    static bool SamplesFit(const CAccessRGBImage& source, std::span<const int> columns,
                           std::span<const int> rows, const CAccessRGBImage& destination);

    // Copies source pixel (columns[i], rows[j]) to destination pixel (i, j),
    // rows on the row threads; the arguments as SamplesFit accepts them.
    static void CopySamples(CAccessRGBImage& source, std::span<const int> columns,
                            std::span<const int> rows, CAccessRGBImage& destination);

    // The stored pixels of the accessor's image from (x, y) on, for loops
    // over whole rows in place (x, y inside the image; rows are packed, so
    // row y + 1 starts width pixels further on).
    static RGB16* PixelRow(CAccessRGBImage& access, int x, int y);

protected:
    CBaseDoc(const CBaseDoc&) = default;
    CBaseDoc& operator=(const CBaseDoc&) = default;

private:
    std::string m_title;
};

// The prepared part of a document that prepares nothing.
struct NoPrepared
{};

// The common body of the seven documents: a document D keeps its persisted
// values in one record P (with a defaulted operator==) and what
// PrepareApply derives from them in Prep. Copying, Clone and Assign take
// the title and the record; the prepared data never travels with a copy,
// so a copy is unprepared. IsEqual asks D::SameParams, which is the
// record's == unless the document compares more loosely (values that play
// no part, points beyond the count in use).
//
// D declares its parameter table as `static constexpr ParamDef<P>
// kParamTable[]` and may give `static P DefaultParams()` (the record with
// the table's defaults applied, by default) and `static bool
// SameParams(const P&, const P&)`.
template <class D, class P, class Prep = NoPrepared> class CDocOf : public CBaseDoc
{
public:
    using Params = P;
    using Prepared = Prep;

    // The document's parameters, as the panels edit them and the table's
    // member pointers reach them.
    const P& GetParams() const { return m_params; }
    P& GetParams() { return m_params; }

    // Key, default, range and member of every scalar parameter.
    static std::span<const ParamDef<P>> GetParamTable() { return D::kParamTable; }

    // The reset record: the table's defaults on a new record.
    static P DefaultParams()
    {
        P record{};
        ResetParams(GetParamTable(), record);
        return record;
    }

    static bool SameParams(const P& a, const P& b) { return a == b; }

    void Reset() override
    {
        CBaseDoc::Reset();
        m_params = D::DefaultParams();
        m_prepared = Prep{};
    }

    std::unique_ptr<CBaseDoc> Clone() const override
    {
        return std::make_unique<D>(static_cast<const D&>(*this));
    }

    void Assign(const CBaseDoc& other) override
    {
        if (const auto* doc = dynamic_cast<const D*>(&other); doc && doc != this)
            static_cast<D&>(*this) = *doc;
    }

    bool IsEqual(const CBaseDoc& other) const override
    {
        const auto* doc = dynamic_cast<const D*>(&other);
        return doc && D::SameParams(m_params, doc->GetParams());
    }

protected:
    CDocOf() : m_params(D::DefaultParams()) {}
    CDocOf(const CDocOf& other) : CBaseDoc(other), m_params(other.m_params) {}
    CDocOf& operator=(const CDocOf& other)
    {
        if (this != &other)
        {
            CBaseDoc::operator=(other);
            m_params = other.m_params;
            m_prepared = Prep{};
        }
        return *this;
    }

    // Forgets what PrepareApply derived; the parameters stay.
    void DropPrepared() { m_prepared = Prep{}; }

    P m_params;
    Prep m_prepared;
};

// The parameter file of the seven documents (slot order). SaveParamFile
// builds the whole file in memory (each document's SaveParams in order)
// and replaces path in one step; false (and path untouched) when any
// section failed or the file could not be written. LoadParamFile reads the
// file once and runs LoadParams on each document in order; false, with the
// documents untouched, when the file cannot be read. Null documents are
// skipped.
bool SaveParamFile(const std::string& path, std::span<const CBaseDoc* const> docs);
bool LoadParamFile(const std::string& path, std::span<CBaseDoc* const> docs);
