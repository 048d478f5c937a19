#pragma once
// The About box: the program's name and version, its maker, the two web
// addresses to turn to, and a button that opens the system information.

#include <QDialog>

#include <functional>

class CLinkText;

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

    // What button 1315 runs: the system information dialog, unless a test
    // puts its own in place; an empty function puts the dialog back.
    static void SetSystemInfoOpener(std::function<void(QWidget* parent)> opener);

    CLinkText* supportLink() const { return m_supportLink; }
    CLinkText* displayLink() const { return m_displayLink; }

private:
    CLinkText* m_supportLink = nullptr;
    CLinkText* m_displayLink = nullptr;
};
