#include "controls/support/ResourceImages.h"

#include "controls/art/ResourceArt.h"

#include <map>

namespace {

template <class T>
const T* Find(const std::map<int, T (*)()>& makers, std::map<int, T>& cache, int id)
{
    if (auto it = cache.find(id); it != cache.end())
        return &it->second;
    const auto maker = makers.find(id);
    if (maker == makers.end())
        return nullptr;
    return &cache.emplace(id, maker->second()).first->second;
}

template <int Frame> QImage DngConvertFrame()
{
    return MakeDngConvertFrame(Frame);
}

template <TrimCursorShape Shape> QCursor TrimCursor()
{
    return MakeTrimCursor(Shape);
}

template <StepPicture Step, bool Runs> QIcon StepIcon()
{
    return MakeStepIcon(Step, Runs);
}

template <StepPicture Step> QIcon StepCommandIcon()
{
    return MakeStepCommandIcon(Step);
}

} // namespace

QImage LoadBitmapResource(int id)
{
    static const std::map<int, QImage (*)()> makers = {
        {kBitmapIntroduction, &MakeIntroductionBitmap},
        {kBitmapColorWheel, &MakeColorWheelBitmap},
        {kBitmapChromaticity, &MakeChromaticityBitmap},
        {kBitmapDngConvertFirst + 0, &DngConvertFrame<0>},
        {kBitmapDngConvertFirst + 1, &DngConvertFrame<1>},
        {kBitmapDngConvertFirst + 2, &DngConvertFrame<2>},
        {kBitmapDngConvertFirst + 3, &DngConvertFrame<3>},
        {kBitmapDngConvertFirst + 4, &DngConvertFrame<4>},
        {kBitmapDngConvertFirst + 5, &DngConvertFrame<5>},
        {kBitmapDngConvertFirst + 6, &DngConvertFrame<6>},
        {kBitmapDngConvertFirst + 7, &DngConvertFrame<7>},
        {kBitmapDngConvertFirst + 8, &DngConvertFrame<8>},
        {kBitmapDngConvertFirst + 9, &DngConvertFrame<9>},
        {kBitmapDngConvertFirst + 10, &DngConvertFrame<10>},
        {kBitmapDngConvertFirst + 11, &DngConvertFrame<11>},
        {kBitmapSlidePlayUp, &MakeSlidePlayUpBitmap},
        {kBitmapSlidePlayDown, &MakeSlidePlayDownBitmap},
        {kBitmapSlidePauseUp, &MakeSlidePauseUpBitmap},
        {kBitmapSlidePauseDown, &MakeSlidePauseDownBitmap},
        {kBitmapSlidePreviousUp, &MakeSlidePreviousUpBitmap},
        {kBitmapSlidePreviousDown, &MakeSlidePreviousDownBitmap},
        {kBitmapSlideNextUp, &MakeSlideNextUpBitmap},
        {kBitmapSlideNextDown, &MakeSlideNextDownBitmap},
        {kBitmapSlideCloseUp, &MakeSlideCloseUpBitmap},
        {kBitmapSlideCloseDown, &MakeSlideCloseDownBitmap},
        {kBitmapSlideSettingsUp, &MakeSlideSettingsUpBitmap},
        {kBitmapSlideSettingsDown, &MakeSlideSettingsDownBitmap},
        {kBitmapDragPattern, &MakeDragPatternBitmap},
        {kBitmapChartSetup, &MakeChartSetupBitmap},
        {kBitmapWhiteByDiagram, &MakeWhiteByDiagramBitmap},
        {kBitmapWhiteByPictures, &MakeWhiteByPicturesBitmap},
    };
    static std::map<int, QImage> cache;
    const QImage* image = Find(makers, cache, id);
    return image != nullptr ? *image : QImage();
}

QIcon LoadIconResource(int id)
{
    static const std::map<int, QIcon (*)()> makers = {
        {kIconApplication, &MakeApplicationIcon},
        {kIconSliderThumb, &MakeSliderThumbIcon},
        {kIconSliderThumbVertical, &MakeSliderThumbVerticalIcon},
        {kIconFileTable, &MakeFileTableIcon},
        {kIconSortSet, &MakeSortSetIcon},
        {kIconSortClear, &MakeSortClearIcon},
        {kIconStageMarker, &MakeStageMarkerIcon},
        {kIconStageCurrent, &MakeStageCurrentIcon},
        {kIconStageNormal, &MakeStageNormalIcon},
        {kIconStageNotRun, &MakeStageNotRunIcon},
        {kIconDevelopmentRuns, &StepIcon<StepPicture::Development, true>},
        {kIconDevelopmentNotRun, &StepIcon<StepPicture::Development, false>},
        {kIconChartRuns, &StepIcon<StepPicture::Chart, true>},
        {kIconChartNotRun, &StepIcon<StepPicture::Chart, false>},
        {kIconTrimmingRuns, &StepIcon<StepPicture::Trimming, true>},
        {kIconTrimmingNotRun, &StepIcon<StepPicture::Trimming, false>},
        {kIconGradationRuns, &StepIcon<StepPicture::Gradation, true>},
        {kIconGradationNotRun, &StepIcon<StepPicture::Gradation, false>},
        {kIconColourToneRuns, &StepIcon<StepPicture::ColourTone, true>},
        {kIconColourToneNotRun, &StepIcon<StepPicture::ColourTone, false>},
        {kIconSpecifiedColourRuns, &StepIcon<StepPicture::SpecifiedColour, true>},
        {kIconSpecifiedColourNotRun, &StepIcon<StepPicture::SpecifiedColour, false>},
        {kIconFilterRuns, &StepIcon<StepPicture::Filter, true>},
        {kIconFilterNotRun, &StepIcon<StepPicture::Filter, false>},
        {kIconReverseOrder, &MakeReverseOrderIcon},
        {kIconWhiteBalancePicker, &MakeWhiteBalancePickerIcon},
        {kIconAddFiles, &MakeAddFilesIcon},
        {kIconDeleteFiles, &MakeDeleteFilesIcon},
        {kIconPreferences, &MakePreferencesIcon},
        {kIconNextImage, &MakeNextImageIcon},
        {kIconPreviousImage, &MakePreviousImageIcon},
        {kIconFullScreen, &MakeFullScreenIcon},
        {kIconSlideShow, &MakeSlideShowIcon},
        {kIconLoadList, &MakeLoadListIcon},
        {kIconSaveList, &MakeSaveListIcon},
        {kIconHelp, &MakeHelpIcon},
        {kIconMonitorWizard, &MakeMonitorWizardIcon},
        {kIconAbout, &MakeAboutIcon},
        {kIconCommandOpenFiles, &MakeAddFilesIcon},
        {kIconCommandOpenFolder, &MakeOpenFolderIcon},
        {kIconCommandSaveImage, &MakeSaveImageIcon},
        {kIconCommandPrint, &MakePrintIcon},
        {kIconCommandIndexPrint, &MakeIndexPrintIcon},
        {kIconCommandPreferences, &MakePreferencesIcon},
        {kIconCommandDevelop, &StepCommandIcon<StepPicture::Development>},
        {kIconCommandChart, &StepCommandIcon<StepPicture::Chart>},
        {kIconCommandTrimming, &StepCommandIcon<StepPicture::Trimming>},
        {kIconCommandGradation, &StepCommandIcon<StepPicture::Gradation>},
        {kIconCommandColourTone, &StepCommandIcon<StepPicture::ColourTone>},
        {kIconCommandSpecifiedColour, &StepCommandIcon<StepPicture::SpecifiedColour>},
        {kIconCommandFilter, &StepCommandIcon<StepPicture::Filter>},
        {kIconCommandBatch, &MakeBatchIcon},
    };
    static std::map<int, QIcon> cache;
    const QIcon* icon = Find(makers, cache, id);
    return icon != nullptr ? *icon : QIcon();
}

QCursor LoadCursorResource(int id)
{
    static const std::map<int, QCursor (*)()> makers = {
        {kCursorHover, &MakeHoverCursor},
        {kCursorDrag, &MakeDragCursor},
        {kCursorColorDrag, &MakeColorDragCursor},
        {kCursorTrimDiagonalDown, &TrimCursor<TrimCursorShape::ResizeDiagonalDown>},
        {kCursorTrimDiagonalUp, &TrimCursor<TrimCursorShape::ResizeDiagonalUp>},
        {kCursorTrimVertical, &TrimCursor<TrimCursorShape::ResizeVertical>},
        {kCursorTrimHorizontal, &TrimCursor<TrimCursorShape::ResizeHorizontal>},
        {kCursorTrimMove, &TrimCursor<TrimCursorShape::Move>},
        {kCursorTrimNewFrame, &TrimCursor<TrimCursorShape::NewFrame>},
    };
    static std::map<int, QCursor> cache;
    const QCursor* cursor = Find(makers, cache, id);
    return cursor != nullptr ? *cursor : QCursor(Qt::ArrowCursor);
}
