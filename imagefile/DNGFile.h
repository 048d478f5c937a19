#pragma once
// A DNG file: its TIFF structure read and checked (Open), its raw data
// developed into a plane of 16-bit camera RGB (Develop), and the rows of
// that plane read back with the default crop and scale (GetLine).
//
// What can be developed: one 16-bit or 12-bit sample a pixel under a 2x2
// Bayer colour-filter array (photometric 32803), or three samples a pixel
// (LinearRaw, 34892); uncompressed strips or lossless-JPEG tiles; the raw
// image in a sub-IFD of IFD0; exactly one EXIF IFD. Every value read from
// the file is distrusted: counts, offsets and sizes are checked against the
// file's size in 64-bit arithmetic before anything is read or allocated.
//
// Development runs in passes, each reading one plane file and writing the
// next, so that memory holds only a few rows at a time:
//   A  raw samples as stored (swapped, 12-bit unpacked), samples x raw width
//      16-bit values a row;
//   B  CFA only: linearised, black-subtracted, white-scaled samples;
//   C  R, G, B a pixel (demosaiced, or normalised LinearRaw).
// Planes are native-endian 16-bit values, rows top first, no header. Each
// plane is removed as soon as the pass that reads it has finished; plane C
// is removed from its folder as soon as it is open for reading (the open
// stream keeps its data until the object goes), and a failed or cancelled
// development removes every plane it made. Rows and tiles are independent,
// so every pass spreads them over the cores; the planes are identical to a
// one-thread run.

#include "core/Progress.h"
#include "core/RGB16.h"
#include "core/StdMatrix.h"
#include "core/T2DArray.h"
#include "imagefile/DNGTemp.h"
#include "platform/File.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CDNGTranspose;

enum class DngErrorCode : std::int32_t
{
    None = 0,
    OpenFailed = 1,   // the file does not open for reading
    FileTooSmall = 2, // shorter than 10000 bytes
    ReadFailed = 3,   // a read failed, or a value lies outside the file
    BadByteOrder = 4, // neither "II" nor "MM"
    BadMagic = 5,     // the TIFF magic number is not 42
    BadFirstIfd = 6,  // first IFD offset below 8 or not inside the file
    BadIfd = 7,       // no entries, unreadable count, bad next offset, a loop
    BadTag = 8,       // a tag missing, of the wrong type or count, or unsupported
    TileDecode = 9,   // a lossless-JPEG tile fails to decode
    NoMemory = 10,    // no memory for a buffer
    PlaneFile = 11,   // a temporary plane cannot be opened, positioned, read, written
    Cancelled = 12,   // the progress callback asked to stop
};

// A TIFF rational as stored: numerator and denominator words. Whether they
// are signed is decided where the value is used.
struct DngRational
{
    std::uint32_t num = 0;
    std::uint32_t den = 0;
    bool operator==(const DngRational&) const = default;
};

// The values of one IFD, for the tags the reader knows (every other tag is
// skipped). Numeric members hold every value of their tag; a text member
// holds the stored bytes, the terminating zero included.
struct CDNGIfdInfo
{
    std::vector<std::uint16_t> Compression, BitsPerSample;
    std::string Copyright, DateTime;
    std::vector<std::uint32_t> ImageWidth, ImageLength;
    std::string Make, Model;
    std::vector<std::uint16_t> Orientation, PhotometricInterpretation, PlanarConfiguration,
        ResolutionUnit;
    std::vector<std::uint32_t> RowsPerStrip;
    std::vector<std::uint16_t> SamplesPerPixel;
    std::string Software;
    std::vector<std::uint32_t> StripByteCounts, StripOffsets, NewSubFileType;
    std::vector<DngRational> XResolution, YResolution;
    std::vector<std::uint32_t> SubIFDs;
    std::vector<std::uint16_t> CFARepeatPatternDim;
    std::vector<std::uint8_t> CFAPattern;
    std::vector<std::uint32_t> ExifIFD;
    std::vector<std::uint8_t> DNGVersion, DNGBackwardVersion;
    std::string UniqueCameraModel, LocalizedCameraModel;
    std::vector<DngRational> ColorMatrix1, ColorMatrix2, CameraCalibration1, CameraCalibration2,
        AnalogBalance, AsShotNeutral, AsShotWhiteXY, BaselineExposure, BaselineNoise,
        BaselineSharpness, LinearResponseLimit;
    std::string CameraSerialNumber;
    std::vector<DngRational> LensInfo, ShadowScale;
    std::vector<std::uint16_t> CalibrationIlluminant1, CalibrationIlluminant2;
    std::vector<std::uint8_t> RawDataUniqueID;
    std::string OriginalRawFileName;
    std::vector<std::uint32_t> TileWidth, TileLength, TileOffsets, TileByteCounts;
    std::vector<std::uint8_t> CFAPlaneColor;
    std::vector<std::uint16_t> CFALayout, LinearizationTable, BlackLevelRepeatDim;
    std::vector<DngRational> BlackLevel, BlackLevelDeltaH, BlackLevelDeltaV;
    std::vector<std::uint32_t> WhiteLevel;
    std::vector<DngRational> DefaultScale, DefaultCropOrigin, DefaultCropSize;
    std::vector<std::uint32_t> BayerGreenSplit;
    std::vector<DngRational> ChromaBlurRadius, AntiAliasStrength, BestQualityScale;
    std::vector<std::uint32_t> ActiveArea, MaskedAreas;
    std::string DateTimeOriginal;
    std::vector<DngRational> ExposureTime, FNumber;
    std::vector<std::uint16_t> ExposureProgram, ISOSpeedRatings;
    std::vector<DngRational> ShutterSpeedValue, ApertureValue, BrightnessValue, ExposureBiasValue,
        MaxApertureValue;
    std::vector<std::uint16_t> MeteringMode, Flash;
    std::vector<DngRational> FocalLength;
    std::vector<std::uint16_t> FocalLengthIn35mmFilm;

    // Tags that appeared in the IFD (with any count, 0 included), sorted.
    std::vector<std::uint16_t> present;
    bool Has(std::uint16_t tag) const;
};

// The raw IFD's validated layout: what the development passes read.
struct DngRawLayout
{
    std::uint32_t rawWidth = 0;
    std::uint32_t rawHeight = 0;
    // Active area: rows top..bottom-1, columns left..right-1.
    std::uint32_t top = 0;
    std::uint32_t left = 0;
    std::uint32_t bottom = 0;
    std::uint32_t right = 0;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t bitsPerSample = 16;
    std::int32_t compression = 1;
    std::int32_t photometric = 34892;
    std::uint32_t rowsPerStrip = 0;
    std::vector<std::uint32_t> stripOffsets;
    std::vector<std::uint32_t> stripByteCounts;
    std::uint32_t tileWidth = 0;
    std::uint32_t tileLength = 0;
    std::uint32_t tilesAcross = 0;
    std::uint32_t tilesDown = 0;
    std::uint32_t tileCount = 0;
    std::vector<std::uint32_t> tileOffsets;
    std::vector<std::uint32_t> tileByteCounts;
    // Element (row, column): 0 red, 1 green, 2 blue; anchored at the
    // active area's top-left corner.
    T2DArray<std::uint8_t> cfaPattern;
    std::vector<std::uint16_t> linearization;
    std::uint16_t blackRepeatRows = 1;
    std::uint16_t blackRepeatColumns = 1;
    // repeat rows x repeat columns x samples, in the order row, column,
    // sample. A BlackLevel of the wrong count leaves one cell (1 x 1) of
    // zeros: every black level 0, without a table as large as the repeat.
    std::vector<double> blackLevels;
    // One a column (row) of the active area, or empty.
    std::vector<double> blackDeltaH;
    std::vector<double> blackDeltaV;
    std::vector<std::uint32_t> whiteLevels; // one a sample
    double defaultScaleH = 1.0;
    double defaultScaleV = 1.0;
    double cropOriginH = 0.0;
    double cropOriginV = 0.0;
    double cropSizeH = 0.0; // the active area's size without DefaultCropSize
    double cropSizeV = 0.0;
    double antiAliasStrength = 1.0;
    double bestQualityScale = 1.0;

    bool operator==(const DngRawLayout&) const = default;
};

// IFD0's (and the EXIF IFD's) validated values.
struct DngImageTags
{
    std::uint32_t width = 0; // IFD0's ImageWidth and ImageLength
    std::uint32_t height = 0;
    std::int32_t orientation = 1;
    // 3x3 identity when absent, but ColorMatrix2, which is then 0x0.
    CStdMatrix colorMatrix1 = CStdMatrix::Identity(3);
    CStdMatrix colorMatrix2 = CStdMatrix::Identity(3);
    CStdMatrix cameraCalibration1 = CStdMatrix::Identity(3);
    CStdMatrix cameraCalibration2 = CStdMatrix::Identity(3);
    CStdMatrix analogBalance = CStdMatrix::Identity(3);
    std::vector<double> asShotNeutral; // empty, or 3 values, the largest 1
    std::vector<double> asShotWhiteXY; // empty, or x and y
    double baselineExposure = 0.0;
    double baselineNoise = 1.0;
    double baselineSharpness = 1.0;
    double linearResponseLimit = 1.0;
    std::string cameraSerialNumber;
    std::vector<double> lensInfo; // empty or 4 values
    double shadowScale = 1.0;
    std::int32_t calibrationIlluminant1 = 0;
    std::int32_t calibrationIlluminant2 = 0;
    double shutterSpeedValue = 0.0;
    double apertureValue = 0.0;
};

class CDNGFile
{
public:
    static constexpr std::int32_t kHostLittleEndian = 100;
    static constexpr std::int32_t kHostBigEndian = 101;
    static constexpr std::int32_t kFileOrderII = 200;
    static constexpr std::int32_t kFileOrderMM = 201;
    static constexpr std::int32_t kFileOrderNone = 202;
    // Files shorter than this are refused before their header is read.
    static constexpr std::uint64_t kMinFileSize = 10000;
    // The largest raw width or height accepted: a lossless-JPEG frame has
    // 16-bit dimensions, and the working image is smaller still.
    static constexpr std::uint32_t kMaxRawSide = 65535;
    // The largest number of IFDs read from one file, over all chains.
    static constexpr std::size_t kMaxIfds = 4096;

    CDNGFile();
    virtual ~CDNGFile();
    CDNGFile(const CDNGFile&) = delete;
    CDNGFile& operator=(const CDNGFile&) = delete;

    // Resets the object, then reads and checks the whole structure. True
    // when no error was met; the path is then kept.
    bool Open(const std::string& path);

    DngErrorCode GetErrorCode() const { return m_error; }
    const std::string& GetPath() const { return m_path; }

    // The developed image as shown: crop size x default scale, truncated,
    // with width and height exchanged for orientations 5 to 8.
    unsigned GetImageWidth() const;
    unsigned GetImageHeight() const;
    // The same products regardless of orientation: the size of the rows
    // GetLine gives and the number of them.
    unsigned GetOutputWidth() const;
    unsigned GetOutputHeight() const;

    // Camera-to-XYZ matrix N = (AnalogBalance x CameraCalibrationN x
    // ColorMatrixN)^-1 x 2^BaselineExposure. Matrix 2 and the flag only when
    // the file has a ColorMatrix2. A product that cannot be inverted gives
    // the identity (times the exposure factor).
    void GetCameraToXyzMatrices(CStdMatrix& matrix1, CStdMatrix& matrix2, bool& hasSecond) const;
    // The file's colour description for the colour transform: illuminant 1
    // with matrix 1, illuminant 2 with matrix 2, the as-shot white and the
    // baseline exposure (which the transform applies on its own, as it
    // normalises the matrices' scale away).
    void GetColorInfo(CDNGTranspose& transform) const;

    // Runs the passes that the compression, photometric interpretation and
    // default scale call for; true when plane C is developed and open for
    // reading. progress (a fraction 0..1 of the whole load: the passes take
    // their shares, reading the developed rows the rest from
    // GetFinalProgress on) is called on this thread only. On
    // failure the error code tells why (None for a combination that is
    // simply not developed: LinearRaw with one sample, CFA with three,
    // uncompressed tiles).
    bool Develop(const std::string& pathA, const std::string& pathC, const std::string& pathB,
                 Progress progress);
    // The same with the planes in the work folder: WorkPlanePath of 'A',
    // 'C' and 'B'.
    bool Develop(Progress progress);
    // The work folder's plane name "DNG_Temp_<letter>.raw", with "_" and the
    // first free five-digit number before the extension when a file of that
    // name exists.
    static std::string WorkPlanePath(char letter);
    // The first pass alone: the raw samples (unpacked strips or decoded
    // tiles) into plane A, which the caller removes. For measuring the
    // decoding on its own.
    bool DecodeRaw(const std::string& pathA, Progress progress);
    // Row y of the developed image, cropped and scaled, before orientation:
    // GetOutputWidth pixels. False (error PlaneFile) when plane C cannot be
    // read, or when nothing was developed or y is out of range.
    bool GetLine(unsigned y, RGB16* out);

    // Plane B to plane C for CFA data (a pass of Develop, which removes the
    // planes on failure).
    bool Demosaic(double start, double end, Progress progress, const std::string& pathC,
                  const std::string& pathB);

    // Worker threads for the passes: 0 (the default) the process's row
    // thread count (GetRowThreadCount), 1 runs everything on the calling
    // thread.
    void SetThreadCount(int threads) { m_threads = threads < 0 ? 0 : threads; }

    std::int32_t GetHostByteOrder() const { return m_hostOrder; }
    std::int32_t GetFileByteOrder() const { return m_fileOrder; }
    bool IsSwapped() const { return m_swap; }
    std::uint64_t GetFileSize() const { return m_fileSize; }
    std::uint32_t GetFirstIfdOffset() const { return m_firstIfdOffset; }
    const DngRawLayout& GetRawLayout() const { return m_raw; }
    const DngImageTags& GetImageTags() const { return m_tags; }
    const std::vector<CDNGIfdInfo>& GetMainIfds() const { return m_mainIfds; }
    const std::vector<CDNGIfdInfo>& GetSubIfds() const { return m_subIfds; }
    const std::vector<CDNGIfdInfo>& GetExifIfds() const { return m_exifIfds; }
    // The red, green and blue balance factors measured by normalisation
    // (each at most 1; all 1 until then and for LinearRaw data).
    std::array<double, 3> GetWhiteBalanceFactors() const { return m_wbFactors; }
    bool IsDeveloped() const { return m_developed != 0; }
    double GetFinalProgress() const { return m_finalProgress; }
    const std::string& GetDevelopedPath() const { return m_developedPath; }

    // An IFD as stored: its offset and its 12-byte entries, in file order.
    struct RawIfd
    {
        std::uint32_t offset = 0;
        std::vector<std::uint8_t> entries;
    };

private:
    struct PassRange
    {
        double start = 0.0;
        double end = 0.0;
    };

    void Reset();
    void CloseInput();
    bool Fail(DngErrorCode code);
    bool Ok() const { return m_error == DngErrorCode::None; }

    // Reading the file (DNGFile.cpp).
    bool ReadFileSize();
    bool ReadHeader();
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t bytes);
    bool ReadIfdChain(std::uint32_t offset, std::vector<RawIfd>& list);
    bool ParseIfds(const std::vector<RawIfd>& list, std::vector<CDNGIfdInfo>& records);
    bool ParseIfdEntries(const RawIfd& ifd, CDNGIfdInfo& record);
    bool ReadTag(std::span<const std::uint8_t> entry, CDNGIfdInfo& record);
    bool ReadValueBytes(std::uint16_t type, std::uint32_t count,
                        std::span<const std::uint8_t> field, std::vector<std::uint8_t>& bytes);
    bool ReadSubIfds();
    bool ReadExifIfd();
    bool SetupFromIfds();
    bool SetupMainValues(const CDNGIfdInfo& ifd0);
    bool SetupRawValues(const CDNGIfdInfo& raw);
    bool SetupRawStorage(const CDNGIfdInfo& raw);
    bool SetupRawLevels(const CDNGIfdInfo& raw);
    bool SetupRawCrop(const CDNGIfdInfo& raw);
    bool SetupExifValues();
    // Integers of the file's byte order (its II or MM mark).
    std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at) const;
    std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) const;

    // Decoding the raw samples into plane A, the first pass of Develop
    // (DNGDecode.cpp).
    bool UnpackStrips(const std::string& pathA, PassRange range, Progress progress);
    bool DecodeTiles(const std::string& pathA, PassRange range, Progress progress);

    // Development (DNGDevelop.cpp).
    int WorkerCount(std::size_t blocks) const;
    // The passes of Develop; every plane made and not yet removed is listed
    // in made.
    bool RunPasses(const std::string& pathA, const std::string& pathC, const std::string& pathB,
                   Progress progress, std::vector<std::string>& made);
    bool Normalize(const std::string& pathA, const std::string& pathOut, PassRange range,
                   Progress progress);
    void ApplyLinearization(std::uint16_t* row, std::size_t count) const;
    void BlackRow(std::uint32_t r, double* black) const;
    void SubtractBlackAndScale(const double* black, std::uint16_t* row) const;
    void SetWhiteBalanceFactors(const std::array<std::uint64_t, 3>& sums);
    bool ReadPlaneRow(std::uint32_t row, std::vector<RGB16>& buffer);

    // Demosaicing (Demosaic.cpp).
    struct DemosaicWindow;
    class CDemosaicBand;
    // The CFA colour (0 red, 1 green, 2 blue) of a pixel: the pattern
    // anchored at the active area's top-left corner, repeated both ways.
    std::uint8_t CfaColour(long long row, long long column) const;
    // Each sample of a plane-B row divided by its colour's balance factor,
    // through tables of 65536 quotients a colour.
    void PrepareRawLine(long long row, const std::uint16_t* planeRow, double* out,
                        const std::vector<std::uint32_t>* tables) const;
    // Each channel multiplied back by its factor, limited to 65535.
    static void FinishLine(const LongRGBColor* line, RGB16* out, std::uint32_t width,
                           const std::array<double, 3>& factors);
    // Vertical and horizontal gradients at column c of the middle raw row.
    static void EstimateGradients(const double* const* raw, long long c, double& dv, double& dh);
    // The three stages, each over one whole row. Stage 1 records at each
    // red or blue site which of the four interpolations the gradients chose
    // (a byte mask of the row); stage 3 chooses by the same gradients and
    // reads the mask instead of estimating them again.
    static void InterpolateGreen(const DemosaicWindow& w, LongRGBColor* out,
                                 std::uint8_t* directions);
    static void InterpolateAtGreen(const DemosaicWindow& w, LongRGBColor* out);
    static void InterpolateAtRedBlue(const DemosaicWindow& w, LongRGBColor* out,
                                     const std::uint8_t* directions);

    std::int32_t m_hostOrder = kHostLittleEndian;
    DngErrorCode m_error = DngErrorCode::None;
    std::uint64_t m_fileSize = 0;
    std::string m_path;
    std::int32_t m_fileOrder = kFileOrderNone;
    bool m_swap = false;
    std::uint32_t m_firstIfdOffset = 0;
    DngImageTags m_tags;
    DngRawLayout m_raw;

    platform::File m_input; // read with positioned reads (shared by workers)
    std::vector<std::uint32_t> m_visitedIfds;
    std::size_t m_ifdCount = 0;
    std::vector<RawIfd> m_mainList;
    std::vector<CDNGIfdInfo> m_mainIfds;
    std::vector<CDNGIfdInfo> m_subIfds;
    std::vector<CDNGIfdInfo> m_exifIfds;

    CDNGTempFile m_developedPlane;
    std::string m_developedPath;
    std::int32_t m_developed = 0;
    double m_finalProgress = 0.0;
    std::array<double, 3> m_wbFactors{1.0, 1.0, 1.0};
    int m_threads = 0;

    // GetLine's cache of the two plane-C rows of the last bilinear row.
    std::vector<RGB16> m_cacheRows[2];
    long long m_cacheRowIndex[2] = {-1, -1};
};
