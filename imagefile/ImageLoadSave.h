#pragma once
// Loading an image record's file into the 16-bit working image, by type
// and through the reload cache, and writing a working image back as a
// 16-bit TIFF, an 8-bit TIFF or a JPEG.
//
// These are free functions taking the record (they are the record's load
// and save operations). progress is the image load's or save's: a fraction
// 0..1 of the whole. An operation whose progress answered false stops and
// returns 0; a caller that must tell that from a failure watches the handle
// it passes (CancelWatch). A save never loses the target: the new file is
// written beside it and renamed over it only when complete.

#include "core/Progress.h"
#include "imagefile/DNGConverter.h"

#include <atomic>
#include <functional>
#include <string>

class CImageFileInfo;
class CRGBImage;
class CRGBGammaTable;
class CRGBMatrix;

// Hears a first look at the image while its load goes on: the whole
// picture at a reduced size (for a large JPEG a decode at 1/8 of its size,
// made beside the full decode), its pixels converted as the working
// image's are. It is called at most once, on the thread that called the
// load, from inside one of the load's progress reports, and only while the
// load has not been asked to stop; the image is the listener's to keep.
using FirstLookSink = std::function<void(CRGBImage& reduced)>;

// Loads the record's file into image (tone tables and matrix convert the
// TIFF and 8-bit pixels into the working space; DNG files ignore them).
// Restores a developed DNG or RAW image from the reload cache when the file
// is unchanged and stores newly developed ones. Leaves the outcome in the
// record's m_error and m_state. 1 on success. A load with a progress gives
// firstLook (when given) a reduced picture of a large JPEG before the full
// image is decoded.
int LoadImage(CImageFileInfo& info, CRGBImage& image, const CRGBGammaTable* tables,
              const CRGBMatrix* matrix, Progress progress, bool showConverterProgress,
              const FirstLookSink& firstLook = {});

// The loaders by type (the record's current type), same arguments.
int LoadTiffImage(CImageFileInfo& info, CRGBImage& image, const CRGBGammaTable* tables,
                  const CRGBMatrix* matrix, Progress progress);
int LoadImageByGdiplus(CImageFileInfo& info, CRGBImage& image, const CRGBGammaTable* tables,
                       const CRGBMatrix* matrix, Progress progress,
                       const FirstLookSink& firstLook = {});
int DevelopDngImage(CImageFileInfo& info, CRGBImage& image, Progress progress);
int DevelopRawImage(CImageFileInfo& info, CRGBImage& image, Progress progress,
                    bool showConverterProgress);

// The converter progress display (the GUI's progress dialog): hears
// (waits done, wait limit) once before the converter starts and after each
// wait (CDNGConverterManager::Convert). Used when a RAW load asks to show
// the converter's progress; its sink must live until it is replaced.
void SetConverterProgress(Progress progress);
// The same display's Cancel: while the flag is set (non-null) and turns
// true, a converter started with the progress shown is killed and the load
// fails (CDNGConverterManager::SetCancelFlag). Null for none; the flag must
// live until it is replaced.
void SetConverterCancelFlag(const std::atomic<bool>* cancel);

// Writes image as the output record's type 1 (8-bit TIFF) or 2 (JPEG) to
// its path, with its size, resolution, ICC profile and JPEG quality level;
// the pixels go through the matrix and tone tables (or the transform).
// A failed replacement is shown through the message sink.
int SaveImageByGdiplus(const CImageFileInfo& output, CRGBImage& image, const CRGBMatrix* matrix,
                       const CRGBGammaTable* tables, Progress progress);

// Writes image as a 16-bit TIFF (one strip, resolution in whole dots per
// inch, the output record's ICC profile) through the output tone tables.
// A record resolution below 1 dpi is refused by the TIFF writer.
int SaveTiff16(const CRGBGammaTable* tables, const CImageFileInfo& output, CRGBImage& image,
               Progress progress);

// The path with its extension replaced: ".tif" for formats 0 and 1, ".jpg"
// for 2, none for any other; folder and base name are kept.
void MakeOutputFileName(int format, std::string& out, const std::string& path);

// The progress of line y of an image of `lines` lines: y / (lines - 1),
// and 1.0 for an image of one line.
double LineProgress(int y, int lines);
