#include "tests/print/PdfReadBack.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>
#include <sstream>

namespace {

// Standard output of a program; empty when it cannot run or fails.
std::string Run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput().toStdString();
}

std::string ValueAfter(const std::string& line, std::size_t keyLength)
{
    const std::size_t start = line.find_first_not_of(' ', keyLength);
    return start == std::string::npos ? std::string() : line.substr(start);
}

} // namespace

bool HavePoppler()
{
    for (const char* tool : {"pdfinfo", "pdfimages", "pdftoppm"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    return true;
}

PdfInfo ReadPdfInfo(const std::string& pdf)
{
    PdfInfo info;
    std::istringstream text(Run(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf)}));
    for (std::string line; std::getline(text, line);)
    {
        if (line.rfind("Pages:", 0) == 0)
            info.pages = std::atoi(line.c_str() + 6);
        else if (line.rfind("Page size:", 0) == 0)
            std::sscanf(line.c_str(), "Page size: %lf x %lf", &info.width, &info.height);
        else if (line.rfind("Title:", 0) == 0)
            info.title = ValueAfter(line, 6);
    }
    return info;
}

// The columns: page num type width height color comp bpc enc interp object
// ID x-ppi y-ppi size ratio; two header lines are skipped by the type test.
std::vector<PdfImage> PdfImages(const std::string& pdf)
{
    std::istringstream text(
        Run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), QString::fromStdString(pdf)}));
    std::vector<PdfImage> images;
    for (std::string line; std::getline(text, line);)
    {
        std::istringstream fields(line);
        PdfImage image;
        int num = 0;
        std::string type, colour, comp, bpc, interp, object, id;
        if (!(fields >> image.page >> num >> type >> image.width >> image.height >> colour >> comp >>
              bpc >> image.encoding >> interp >> object >> id >> image.xppi >> image.yppi) ||
            type != "image")
            continue;
        images.push_back(image);
    }
    return images;
}

QImage RenderPdfPage(const std::string& pdf, int dpi, const std::string& prefix, int page)
{
    const QString number = QString::number(page);
    Run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), number,
         QStringLiteral("-l"), number, QStringLiteral("-png"), QStringLiteral("-singlefile"),
         QString::fromStdString(pdf), QString::fromStdString(prefix)});
    return QImage(QString::fromStdString(prefix + ".png")).convertToFormat(QImage::Format_RGB888);
}

QImage FirstEmbeddedImage(const std::string& pdf, const std::string& prefix)
{
    Run(QStringLiteral("pdfimages"), {QStringLiteral("-png"), QStringLiteral("-f"),
                                      QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                                      QString::fromStdString(pdf), QString::fromStdString(prefix)});
    return QImage(QString::fromStdString(prefix + "-000.png")).convertToFormat(QImage::Format_RGB888);
}
