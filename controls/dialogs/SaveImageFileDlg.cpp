#include "controls/dialogs/SaveImageFileDlg.h"

#include "controls/support/FileFilter.h"
#include "controls/support/StringTable.h"
#include "core/MessageSink.h"
#include "core/PathUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

namespace {

SaveImageFileDialogRunner& Runner()
{
    static SaveImageFileDialogRunner runner;
    return runner;
}

} // namespace

CSaveImageFileDlg::CSaveImageFileDlg(int saveType, int quality, QWidget* parent)
    : QFileDialog(parent), m_nSaveType(saveType), m_nQuality(quality),
      m_startSaveType(saveType)
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    // Replacing a file is asked in the program's own words (accept).
    setOption(QFileDialog::DontConfirmOverwrite, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    m_filters = QtNameFilters(ParseFileFilter(LoadString(kStrImageFileFilter).toStdString()));
    UseNameFilters(*this, m_filters);
    m_nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));

    // The controls of template 190, below QFileDialog's own.
    m_qualityGroup = new QGroupBox(QStringLiteral("JPEG保存品質"), this);
    m_qualityGroup->setObjectName(QStringLiteral("1230"));
    auto* low = new QLabel(QStringLiteral("低"), m_qualityGroup);
    low->setObjectName(QStringLiteral("1231"));
    auto* high = new QLabel(QStringLiteral("高"), m_qualityGroup);
    high->setObjectName(QStringLiteral("1232"));
    m_qualitySlider = new QSlider(Qt::Horizontal, m_qualityGroup);
    m_qualitySlider->setObjectName(QStringLiteral("1130"));
    m_qualitySlider->setRange(kJpegQualityMin, kJpegQualityMax);
    m_qualitySlider->setPageStep(1);
    m_qualitySlider->setTickPosition(QSlider::TicksBelow);
    auto* qualityLayout = new QHBoxLayout(m_qualityGroup);
    qualityLayout->addWidget(low);
    qualityLayout->addWidget(m_qualitySlider, 1);
    qualityLayout->addWidget(high);

    m_depthGroup = new QGroupBox(QStringLiteral("ビット数"), this);
    m_depthGroup->setObjectName(QStringLiteral("1233"));
    m_depth16 = new QRadioButton(QStringLiteral("16ビット"), m_depthGroup);
    m_depth16->setObjectName(QStringLiteral("1235"));
    m_depth8 = new QRadioButton(QStringLiteral("8ビット"), m_depthGroup);
    m_depth8->setObjectName(QStringLiteral("1236"));
    auto* depthLayout = new QHBoxLayout(m_depthGroup);
    depthLayout->addWidget(m_depth16);
    depthLayout->addWidget(m_depth8);

    auto* extra = new QWidget(this);
    auto* extraLayout = new QHBoxLayout(extra);
    extraLayout->setContentsMargins(0, 0, 0, 0);
    extraLayout->addWidget(m_qualityGroup, 1);
    extraLayout->addWidget(m_depthGroup);
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(extra, grid->rowCount(), 0, 1, grid->columnCount());
    else if (layout() != nullptr)
        layout()->addWidget(extra);

    connect(this, &QFileDialog::filterSelected, this, &CSaveImageFileDlg::onFilterSelected);
    if (m_nameEdit != nullptr)
        connect(m_nameEdit, &QLineEdit::textChanged, this, &CSaveImageFileDlg::updateControls);
}

QString CSaveImageFileDlg::fileNameText() const
{
    if (m_nameEdit != nullptr)
        return m_nameEdit->text();
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : QFileInfo(files.first()).fileName();
}

void CSaveImageFileDlg::setFileNameText(const QString& name)
{
    if (m_nameEdit != nullptr)
        m_nameEdit->setText(name);
    else
        selectFile(name);
    updateControls();
}

SaveFilter CSaveImageFileDlg::currentFilter() const
{
    switch (SelectedNameFilterIndex(*this))
    {
    case 0:
        return SaveFilter::Tiff;
    case 1:
        return SaveFilter::Jpeg;
    default:
        return SaveFilter::Images;
    }
}

void CSaveImageFileDlg::writeControls()
{
    m_qualitySlider->setValue(JpegQualityForSlider(m_nQuality));
    m_depth8->setChecked(m_nSaveType == 1);
    m_depth16->setChecked(m_nSaveType != 1);
    updateControls();
}

bool CSaveImageFileDlg::readControls()
{
    const QString name = fileNameText().trimmed();
    if (name.isEmpty())
        return false;
    const SaveFileKind kind = ChosenKind(name.toStdString(), currentFilter(), m_startSaveType);
    m_nSaveType = SaveTypeOf(kind, m_depth8->isChecked());
    m_nQuality = m_qualitySlider->value();
    return true;
}

void CSaveImageFileDlg::updateControls()
{
    const SaveFileKind kind =
        ChosenKind(fileNameText().trimmed().toStdString(), currentFilter(), m_startSaveType);
    m_qualityGroup->setEnabled(kind == SaveFileKind::Jpeg);
    m_depthGroup->setEnabled(kind == SaveFileKind::Tiff);
}

void CSaveImageFileDlg::onFilterSelected(const QString&)
{
    const std::string name = fileNameText().trimmed().toStdString();
    setFileNameText(QString::fromStdString(NameForFilter(name, currentFilter())));
}

void CSaveImageFileDlg::accept()
{
    const QString name = fileNameText().trimmed();
    // A folder typed in the field is opened by QFileDialog, not saved to.
    if (!name.isEmpty() && !QFileInfo(QDir(directory()).filePath(name)).isDir())
    {
        const SaveFileKind kind = ChosenKind(name.toStdString(), currentFilter(), m_startSaveType);
        const QString finalName = QString::fromStdString(FinalSaveName(name.toStdString(), kind));
        if (finalName != fileNameText())
            setFileNameText(finalName);
        const QString target = QDir(directory()).filePath(finalName);
        if (QFileInfo::exists(target) &&
            ShowMessage(kStrReplaceExisting, {target.toStdString()}, MessageButtons::YesNo,
                        MessageIcon::Warning) != kMessageYes)
            return;
        readControls();
    }
    QFileDialog::accept();
}

void SetSaveImageFileDialogRunner(SaveImageFileDialogRunner runner)
{
    Runner() = std::move(runner);
}

bool RunSaveImageFileDialog(QString& path, int& saveType, int& quality, QWidget* parent)
{
    CSaveImageFileDlg dialog(saveType, quality, parent);
    const std::string given = path.toStdString();
    if (!given.empty())
    {
        const std::string folder = GetFolderFromPath(given);
        if (!folder.empty())
            dialog.setDirectory(QString::fromStdString(folder));
    }
    const QStringList filters = dialog.nameFilters();
    const int filter = static_cast<int>(FilterOfSaveType(saveType));
    if (filter < filters.size())
        dialog.selectNameFilter(filters[filter]);
    std::string name;
    if (!given.empty())
        MakeOutputFileName(saveType, name, GetFileNameFromPath(given));
    dialog.setFileNameText(QString::fromStdString(name));
    dialog.writeControls();

    const int result = Runner() ? Runner()(dialog) : dialog.exec();
    if (result != QDialog::Accepted)
        return false;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return false;
    path = files.first();
    saveType = dialog.m_nSaveType;
    quality = dialog.m_nQuality;
    return true;
}
