#pragma once
// The About box: the program's name and version, its maker, the two web
// addresses to turn to, and a button that opens the system information.

#include <QDialog>

#include <functional>

class QLabel;

// The addresses the links open.
inline constexpr char kSupportHomePage[] = "https://quillbrake.example/chromivel/support/";
inline constexpr char kDisplayHomePage[] = "https://quillbrake.example/display/";

// "CHROMIVEL!2 Version 0.1.0": the program's name (string 3024) and the
// version it was built as.
QString ProgramNameAndVersion();

class CViewerAboutDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CViewerAboutDlg(QWidget* parent = nullptr);

    // Runs the system information dialog for button 1315; the button is
    // hidden while none is set.
    static void SetSystemInfoOpener(std::function<void(QWidget* parent)> opener);

    QLabel* supportLink() const { return m_supportLink; }
    QLabel* displayLink() const { return m_displayLink; }

private:
    QLabel* m_supportLink = nullptr;
    QLabel* m_displayLink = nullptr;
};
