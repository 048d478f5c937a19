#pragma once
// The save-as dialog for one image: a non-native QFileDialog with the
// JPEG quality slider and the TIFF bit depth added below its own controls.
// Type and name follow the rule of controls/dialogs/SaveDialogsLogic.h; the
// controls of the type that the name will be saved as are enabled, the
// others disabled. An existing file is replaced only after QFileDialog's
// own question has been answered Yes (the name asked about is the final
// one, extension included).

#include "controls/dialogs/SaveDialogsLogic.h"

#include <QFileDialog>

#include <functional>

class QGroupBox;
class QLineEdit;
class QRadioButton;
class QSlider;

// The filter text (string 2004).
inline constexpr int kStrImageFileFilter = 2004;
// "%s already exists. Replace it?" (Yes / No).
inline constexpr int kStrReplaceExisting = 30146;

class CSaveImageFileDlg : public QFileDialog
{
    Q_OBJECT
public:
    // saveType 0, 1 or 2 and quality 0..4 are the start values; the
    // dialog's folder and name are set by the caller (selectFile).
    CSaveImageFileDlg(int saveType, int quality, QWidget* parent = nullptr);

    int m_nSaveType = 0;
    int m_nQuality = kJpegQualityDefault;

    // The name as typed in the name field.
    QString fileNameText() const;
    void setFileNameText(const QString& name);
    // The filter chosen, as the rule sees it.
    SaveFilter currentFilter() const;

    void writeControls();
    // Stores the type and quality the name is saved with; false when the
    // field is empty.
    bool readControls();

public slots:
    // Fixes the name's extension by the rule, stores type and quality, then
    // lets QFileDialog check the name and ask before replacing a file.
    void accept() override;

private:
    void updateControls();
    void onFilterSelected(const QString& filter);

    int m_startSaveType = 0;
    QStringList m_filters;
    QLineEdit* m_nameEdit = nullptr;
    QGroupBox* m_qualityGroup = nullptr;
    QSlider* m_qualitySlider = nullptr;
    QGroupBox* m_depthGroup = nullptr;
    QRadioButton* m_depth16 = nullptr;
    QRadioButton* m_depth8 = nullptr;
};

// How RunSaveImageFileDialog runs its dialog: exec() unless a test puts
// something else in (an empty function restores exec()). Returns the
// dialog's result code.
using SaveImageFileDialogRunner = std::function<int(CSaveImageFileDlg&)>;
void SetSaveImageFileDialogRunner(SaveImageFileDialogRunner runner);

// Runs the save-as dialog for path (its folder is the start folder, its
// name with the extension of saveType the start name), saveType 0..2 and
// quality 0..4. True when the user confirmed; then the three are replaced
// by the full path, type and quality chosen.
bool RunSaveImageFileDialog(QString& path, int& saveType, int& quality, QWidget* parent = nullptr);
