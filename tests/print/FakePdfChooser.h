#pragma once
// Answers the PDF printer's question for a file name in place of the save
// dialog, for the object's lifetime: every question is recorded with the
// path offered, and answered with `answer` ("" cancels).

#include "print/PrintDialogParts.h"

#include <string>
#include <vector>

class FakePdfChooser
{
public:
    FakePdfChooser()
    {
        m_before = SetPdfFileChooser([this](QWidget*, const QString&, const QString& offered) {
            offers.push_back(offered.toStdString());
            return QString::fromStdString(answer);
        });
    }
    ~FakePdfChooser() { SetPdfFileChooser(std::move(m_before)); }
    FakePdfChooser(const FakePdfChooser&) = delete;
    FakePdfChooser& operator=(const FakePdfChooser&) = delete;

    std::string answer;
    std::vector<std::string> offers;

private:
    PdfFileChooser m_before;
};
