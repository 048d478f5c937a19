// The manual as a reader gets it: the PDF the build sets beside the program,
// read back with poppler-utils (pdftotext, pdfinfo, pdffonts), an
// independent reader. Texts are compared after NFKC normalisation and with
// white space removed. The PDF's text map names a glyph that several
// characters share by the lowest of their code points: some kanji come out
// as Kangxi radicals (U+2F00...), which NFKC folds back, and the katakana
// middle dot U+30FB as the hyphenation point U+2027, folded here. Line
// breaks fall where the layout puts them.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace {

const QString kPdf = QStringLiteral(QB_MANUAL_PDF);
const QString kChapters = QStringLiteral(QB_MANUAL_DIR);

// Standard output of a poppler tool; fails the test when it does not run.
QString RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
    {
        ADD_FAILURE() << program.toStdString() << " failed on " << kPdf.toStdString() << ": "
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString Comparable(const QString& text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC);
    folded.replace(QChar(0x2027), QChar(0x30FB));
    folded.remove(QRegularExpression(QStringLiteral("\\s")));
    return folded;
}

// The chapters' headings of the given levels, in order, with their inline
// Markdown (emphasis, code) taken away.
QStringList Headings(int minLevel, int maxLevel)
{
    QStringList headings;
    const QStringList files =
        QDir(kChapters).entryList({QStringLiteral("*.md")}, QDir::Files, QDir::Name);
    const QRegularExpression heading(QStringLiteral("^(#{1,6})\\s+(.*)$"));
    for (const QString& name : files)
    {
        QFile file(QDir(kChapters).filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        bool inCode = false;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')))
        {
            if (line.startsWith(QStringLiteral("```")))
                inCode = !inCode;
            const QRegularExpressionMatch match = heading.match(line);
            if (inCode || !match.hasMatch())
                continue;
            const int level = static_cast<int>(match.capturedLength(1));
            if (level < minLevel || level > maxLevel)
                continue;
            QString text = match.captured(2).trimmed();
            text.remove(QRegularExpression(QStringLiteral("[*_`]")));
            headings << text;
        }
    }
    return headings;
}

class ManualPdf : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(kPdf).isFile()) << kPdf.toStdString() << " was not built";
    }
};

TEST_F(ManualPdf, HoldsEveryHeadingOfItsChaptersAndTheTopicsItMustCover)
{
    const QString text = Comparable(RunTool(QStringLiteral("pdftotext"), {kPdf, QStringLiteral("-")}));
    const QStringList headings = Headings(1, 3);
    ASSERT_GE(headings.size(), 8) << "the chapters were not found in " << kChapters.toStdString();
    for (const QString& heading : headings)
        EXPECT_TRUE(text.contains(Comparable(heading))) << "missing heading: " << heading.toStdString();

    // What the manual must tell a user, in words a reader finds; the
    // digits and Latin letters among Japanese text must come out as text
    // too (they are set in a Latin font for that reason).
    const char* const kTopics[] = {
        "画像とリストを開く", "補正の手順", "保存と印刷", "モニタの調整", "できないこと",
        "Ctrl+O", "Ctrl+S", "Ctrl+P", "Ctrl+Z", "Ctrl+Shift+Z", ".cvl", "16 ビット",
        "~/.config/Quillbrake/", "QT_QPA_PLATFORM=offscreen",
    };
    for (const char* topic : kTopics)
        EXPECT_TRUE(text.contains(Comparable(QString::fromUtf8(topic))))
            << "the manual does not mention " << topic;
}

TEST_F(ManualPdf, EachChapterStartsAPageOfItsOwn)
{
    const QStringList pages =
        RunTool(QStringLiteral("pdftotext"), {kPdf, QStringLiteral("-")}).split(QLatin1Char('\f'));
    QStringList pageHeads;
    for (const QString& page : pages)
    {
        for (const QString& line : page.split(QLatin1Char('\n')))
            if (!line.trimmed().isEmpty())
            {
                pageHeads << Comparable(line);
                break;
            }
    }
    const QStringList chapters = Headings(1, 1);
    ASSERT_GE(chapters.size(), 2);
    for (const QString& chapter : chapters)
        EXPECT_TRUE(pageHeads.contains(Comparable(chapter)))
            << "chapter does not open a page: " << chapter.toStdString();
}

TEST_F(ManualPdf, IsA4WithItsJapaneseFontEmbedded)
{
    const QString info = RunTool(QStringLiteral("pdfinfo"), {kPdf});
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Page size:.*\\(A4\\)"))))
        << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("CHROMIVEL"))) << info.toStdString();

    // pdffonts: name, type, encoding, then emb/sub/uni as yes/no.
    const QString fonts = RunTool(QStringLiteral("pdffonts"), {kPdf});
    bool embeddedJapanese = false;
    for (const QString& line : fonts.split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral("CJKjp")) &&
            line.contains(QRegularExpression(QStringLiteral("\\syes\\s+(yes|no)\\s+yes\\s"))))
            embeddedJapanese = true;
    EXPECT_TRUE(embeddedJapanese) << fonts.toStdString();
}

} // namespace
