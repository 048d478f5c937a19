// Builds the user manual, CHROMIVEL_Manual.pdf, from its chapters.
//
//   make_manual_pdf <output.pdf> <chapter.md>...
//
// The chapters are Markdown (GitHub dialect, which QTextDocument reads),
// set in the order given on one A4 document in a Japanese font; every
// chapter after the first (a level-1 heading) starts on a new page, and
// QTextDocument::print numbers the pages and keeps its own 2 cm margins
// (so the writer's page has none of its own). The file is replaced only once
// the whole PDF is made, so a failed run never leaves a half-written
// manual that the build would take as up to date. Run with
// QT_QPA_PLATFORM=offscreen: no display is needed.

#include "platform/FileReplace.h"

#include <QBrush>
#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <cstdio>
#include <string>

namespace {

// The font every Japanese text of the program is set in (fonts-noto-cjk).
constexpr const char* kJapaneseFamily = "Noto Sans CJK JP";
constexpr double kBodyPointSize = 10.0;

bool ReadChapter(const QString& path, QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    text = QString::fromUtf8(file.readAll());
    return true;
}

// Each level-1 heading but the first opens a page of its own.
void BreakPagesBeforeChapters(QTextDocument& document)
{
    bool first = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
    {
        if (block.blockFormat().headingLevel() != 1)
            continue;
        if (first)
        {
            first = false;
            continue;
        }
        QTextBlockFormat format = block.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        QTextCursor(block).setBlockFormat(format);
    }
}

// Markdown tables come without rules or padding: give them thin borders
// and the full text width, so that the two-column tables read as tables.
void FormatTables(QTextDocument& document)
{
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
    {
        QTextCursor cursor(block);
        QTextTable* table = cursor.currentTable();
        if (!table || table->firstCursorPosition().block() != block)
            continue;
        QTextTableFormat format = table->format();
        format.setBorder(1);
        format.setBorderBrush(QBrush(Qt::gray));
        format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        format.setBorderCollapse(true);
        format.setCellPadding(4);
        format.setCellSpacing(0);
        format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        table->setFormat(format);
    }
}

int Fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "make_manual_pdf: %s %s\n", what, qPrintable(detail));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3)
        return Fail("usage:", "make_manual_pdf <output.pdf> <chapter.md>...");

    if (!QFontDatabase::hasFamily(QString::fromLatin1(kJapaneseFamily)))
        return Fail("the Japanese font is not installed:", QString::fromLatin1(kJapaneseFamily));

    QString markdown;
    for (qsizetype i = 2; i < arguments.size(); ++i)
    {
        QString chapter;
        if (!ReadChapter(arguments[i], chapter))
            return Fail("cannot read", arguments[i]);
        markdown += chapter;
        markdown += QStringLiteral("\n\n");
    }

    QTextDocument document;
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QString::fromLatin1(kJapaneseFamily)});
    font.setPointSizeF(kBodyPointSize);
    document.setDefaultFont(font);
    document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
    BreakPagesBeforeChapters(document);
    FormatTables(document);

    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(QStringLiteral("CHROMIVEL 取扱説明書"));
        writer.setCreator(QStringLiteral("CHROMIVEL"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        document.print(&writer);
    } // the writer finishes the file when it goes
    pdf.close();
    if (pdf.data().isEmpty())
        return Fail("no PDF was made for", arguments[1]);

    std::string error;
    if (!platform::ReplaceFileContents(arguments[1].toStdString(),
                                       std::string_view(pdf.data().constData(),
                                                        static_cast<std::size_t>(pdf.data().size())),
                                       &error))
        return Fail("cannot write", arguments[1] + QStringLiteral(": ") + QString::fromStdString(error));
    return 0;
}
