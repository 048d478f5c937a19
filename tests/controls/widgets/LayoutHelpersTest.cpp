#include "controls/dialogs/BrowseDir.h"
#include "controls/widgets/BoundToWnd.h"
#include "controls/widgets/LinkText.h"
#include "controls/widgets/StaticTextEx.h"
#include "controls/widgets/SwitchIconCtrl.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>
#include <vector>

namespace {

// ---- Anchors -------------------------------------------------------------

TEST(BoundToWndLogicTest, AnchoredEdgesFollowOnlyRightAndBottom)
{
    struct Case
    {
        BoundAnchors anchors;
        int dx, dy;
        BoundEdges expected;
    };
    const BoundEdges recorded{10, 20, 60, 50};
    const Case cases[] = {
        // keeps its left edge and width, stretches in height
        {{0, 1, 0, 1}, 40, 30, {10, 20, 60, 80}},
        // moves right and down, same size
        {{0, 0, 1, 1}, 40, 30, {50, 50, 100, 80}},
        // stretches both ways
        {{1, 1, 1, 1}, 40, 30, {10, 20, 100, 80}},
        // left and top alone change nothing
        {{1, 1, 0, 0}, 40, 30, recorded},
        {{0, 0, 0, 0}, 40, 30, recorded},
        // only 1 counts as anchored on the right and bottom
        {{0, 0, 2, -1}, 40, 30, recorded},
        // shrinking moves anchored edges left and up
        {{0, 0, 1, 1}, -15, -5, {-5, 15, 45, 45}},
        {{1, 1, 1, 1}, -70, -40, {10, 20, -10, 10}},
    };
    for (const Case& c : cases)
    {
        const BoundEdges edges = AnchoredEdges(recorded, c.anchors, c.dx, c.dy);
        EXPECT_EQ(edges, c.expected) << c.anchors.left << c.anchors.top << c.anchors.right
                                     << c.anchors.bottom << " by " << c.dx << "," << c.dy;
    }
}

TEST(BoundToWndTest, RelayoutStartsFromTheRecordedLayoutEachTime)
{
    QWidget parent;
    parent.resize(200, 100);
    auto* list = new QWidget(&parent);
    auto* button = new QWidget(&parent);
    auto* fixed = new QWidget(&parent);
    list->setGeometry(10, 10, 80, 60);
    button->setGeometry(150, 70, 40, 20);
    fixed->setGeometry(5, 80, 30, 10);

    CBoundToWnd bound(&parent);
    bound.AddControl(list, 0, 1, 0, 1);
    bound.AddControl(button, 0, 0, 1, 1);
    bound.AddControl(fixed, 1, 1, 0, 0);

    parent.resize(260, 130);
    bound.Relayout();
    bound.Relayout(); // a second pass changes nothing
    EXPECT_EQ(list->geometry(), QRect(10, 10, 80, 90));
    EXPECT_EQ(button->geometry(), QRect(210, 100, 40, 20));
    EXPECT_EQ(fixed->geometry(), QRect(5, 80, 30, 10));

    // Below the reference size: anchored edges move left and up.
    parent.resize(180, 60);
    bound.Relayout();
    EXPECT_EQ(list->geometry(), QRect(10, 10, 80, 20));
    EXPECT_EQ(button->geometry(), QRect(130, 30, 40, 20));

    // So small that the stretched list would turn inside out: it is empty.
    parent.resize(180, 30);
    bound.Relayout();
    EXPECT_EQ(list->geometry().height(), 0);

    // Back at the reference size, the recorded layout.
    parent.resize(200, 100);
    bound.Relayout();
    EXPECT_EQ(list->geometry(), QRect(10, 10, 80, 60));
    EXPECT_EQ(button->geometry(), QRect(150, 70, 40, 20));

    // A child destroyed since is skipped.
    delete button;
    parent.resize(300, 100);
    bound.Relayout();
    EXPECT_EQ(list->geometry(), QRect(10, 10, 80, 60));
}

// ---- Folder chooser ------------------------------------------------------

class BrowseDirTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CBrowseDir::SetFolderChooser(
            [this](QWidget*, const QString& title, const QString& initial) {
                askedTitle = title;
                askedInitial = initial;
                return answer;
            });
    }
    void TearDown() override { CBrowseDir::SetFolderChooser({}); }

    QString answer;
    QString askedTitle;
    QString askedInitial;
};

TEST_F(BrowseDirTest, FolderPathLosesOneTrailingSlashButTheRootStays)
{
    struct Case
    {
        const char* chosen;
        const char* path;
    };
    const Case cases[] = {
        {"/home/x/", "/home/x"}, {"/home/x", "/home/x"}, {"/", "/"}, {"/data//", "/data/"}};
    for (const Case& c : cases)
    {
        CBrowseDir browse;
        answer = QString::fromUtf8(c.chosen);
        ASSERT_TRUE(browse.Browse());
        EXPECT_EQ(browse.GetFolderPath(), QString::fromUtf8(c.path)) << c.chosen;
    }
}

TEST_F(BrowseDirTest, OpensOnAnExistingInitialFolderAndKeepsThePathOnCancel)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    CBrowseDir browse;
    EXPECT_EQ(browse.Title, QStringLiteral("フォルダを選択してください。"));

    browse.SetInitialFolder(folder.path());
    answer = QStringLiteral("/srv/images/");
    ASSERT_TRUE(browse.Browse());
    EXPECT_EQ(askedTitle, browse.Title);
    EXPECT_EQ(askedInitial, folder.path());

    browse.SetInitialFolder(folder.path() + QStringLiteral("/missing"));
    EXPECT_TRUE(browse.InitialFolder().isEmpty());
    answer.clear();
    EXPECT_FALSE(browse.Browse());
    EXPECT_TRUE(askedInitial.isEmpty());
    EXPECT_EQ(browse.GetFolderPath(), QStringLiteral("/srv/images"));
}

// ---- Link text -----------------------------------------------------------

class LinkTextTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CLinkText::SetUrlOpener([this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
    }
    void TearDown() override { CLinkText::SetUrlOpener({}); }

    std::vector<QUrl> opened;
};

TEST_F(LinkTextTest, ClickOpensTheTargetOrElseTheText)
{
    CLinkText link;
    link.setText(QStringLiteral("https://example.org/chromivel"));
    link.resize(link.sizeHint());
    link.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&link));

    QTest::mouseClick(&link, Qt::LeftButton);
    link.Target = QStringLiteral("https://example.org/support");
    QTest::mouseClick(&link, Qt::LeftButton);
    QTest::mouseClick(&link, Qt::RightButton);
    link.Target = QStringLiteral("/usr/share/doc/readme.txt");
    QTest::mouseClick(&link, Qt::LeftButton);

    const std::vector<QUrl> expected = {
        QUrl(QStringLiteral("https://example.org/chromivel")),
        QUrl(QStringLiteral("https://example.org/support")),
        QUrl::fromLocalFile(QStringLiteral("/usr/share/doc/readme.txt"))};
    EXPECT_EQ(opened, expected);
}

TEST_F(LinkTextTest, LooksLikeALink)
{
    CLinkText link;
    link.setText(QStringLiteral("www.example.org"));
    EXPECT_TRUE(link.font().underline());
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(link.TextColor(), MakeColorRef(0, 0, 255));
    EXPECT_EQ(link.palette().color(QPalette::WindowText), QColor(0, 0, 255));

    // The text is drawn in blue: the bluest pixel of the rendering is
    // clearly blue.
    link.resize(link.sizeHint());
    QImage image(link.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    link.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    int bluest = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
        {
            const QColor c(image.pixel(x, y));
            bluest = std::max(bluest, c.blue() - std::max(c.red(), c.green()));
        }
    EXPECT_GT(bluest, 128);
}

// ---- Coloured static text ------------------------------------------------

// The bounding box of the pixels that differ from background.
QRect InkBox(const QImage& image, QRgb background)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

TEST(StaticTextExTest, DrawsInItsColourAndTheParentsFontWithoutBackground)
{
    QWidget parent;
    QFont big = parent.font();
    big.setPixelSize(40);
    parent.setFont(big);
    auto* text = new CStaticTextEx(&parent);
    QFont small = text->font();
    small.setPixelSize(8);
    text->setFont(small);
    text->setText(QStringLiteral("Hg"));
    text->resize(200, 80);
    EXPECT_EQ(text->TextColor(), RefFromColor(text->palette().color(QPalette::WindowText)));
    text->SetTextColor(MakeColorRef(255, 0, 0));

    const QRgb background = qRgb(0, 255, 0);
    QImage image(text->size(), QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    text->paint(painter);
    painter.end();

    const QRect ink = InkBox(image, background);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LT(ink.left(), 10);
    EXPECT_LT(ink.top(), 20);
    EXPECT_GT(ink.height(), 20); // the parent's 40-pixel font, not the label's 8
    EXPECT_EQ(image.pixel(199, 79), background);
    int reddest = 0;
    for (int y = ink.top(); y <= ink.bottom(); ++y)
        for (int x = ink.left(); x <= ink.right(); ++x)
            reddest = std::max(reddest, qRed(image.pixel(x, y)) - qGreen(image.pixel(x, y)));
    EXPECT_GT(reddest, 128);
}

// ---- Switched icon -------------------------------------------------------

class SwitchIconCtrlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        CSwitchIconCtrl::SetIconLoader([this](int id) {
            ++loads[id];
            QPixmap pixmap(32, 32);
            pixmap.fill(kColours.at(id));
            return QIcon(pixmap);
        });
        icon.resize(32, 32);
        icon.AddIcon(158, 0);
        icon.AddIcon(180, 1);
        icon.AddIcon(157, 2);
        icon.AddIcon(158, 3);
        icon.AddIcon(999, 2); // a later pair of state 2 does not count
    }
    void TearDown() override { CSwitchIconCtrl::SetIconLoader({}); }

    QColor At(int x, int y) const { return QColor(icon.renderToImage().pixel(x, y)); }

    const std::map<int, QColor> kColours = {
        {158, QColor(Qt::green)}, {180, QColor(Qt::gray)}, {157, QColor(Qt::red)}};
    std::map<int, int> loads;
    CSwitchIconCtrl icon;
};

TEST_F(SwitchIconCtrlTest, LoadsAnIconOnlyWhenItsNumberChanges)
{
    EXPECT_EQ(icon.IconId(), 0);
    icon.SetState(1);
    icon.SetState(1);
    EXPECT_EQ(icon.IconId(), 180);
    EXPECT_EQ(loads[180], 1);

    icon.SetState(0);
    icon.SetState(3); // the same icon for another state
    EXPECT_EQ(icon.IconId(), 158);
    EXPECT_EQ(loads[158], 1);

    icon.SetState(2);
    EXPECT_EQ(icon.IconId(), 157);
    EXPECT_EQ(loads.count(999), 0u);
    EXPECT_EQ(At(16, 16), QColor(Qt::red));

    icon.SetState(42); // no pair: the picture goes
    EXPECT_EQ(icon.IconId(), 0);
    EXPECT_EQ(At(16, 16), QColor(Qt::black));
    icon.SetState(2);
    EXPECT_EQ(loads[157], 2);
}

TEST_F(SwitchIconCtrlTest, DrawsIntoTheSizeTheOwnerSets)
{
    icon.SetState(0);
    EXPECT_EQ(At(30, 30), QColor(Qt::green)); // its own 32 x 32
    icon.SetDrawSize(16, 16);
    EXPECT_EQ(icon.sizeHint(), QSize(16, 16));
    EXPECT_EQ(At(8, 8), QColor(Qt::green));
    EXPECT_EQ(At(15, 15), QColor(Qt::green));
    EXPECT_EQ(At(16, 16), QColor(Qt::black));
    EXPECT_EQ(At(30, 2), QColor(Qt::black));
}

} // namespace
