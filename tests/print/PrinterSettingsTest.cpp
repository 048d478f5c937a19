// The printers as CUPS gives them, against a private scheduler holding two
// queues of our own PPDs, and the PDF file printer.

#include "print/PrinterSettings.h"
#include "core/RGBImage.h"
#include "print/PrintJob.h"
#include "platform/ColorDirectory.h"
#include "tests/print/CupsTestServer.h"
#include "tests/print/PdfReadBack.h"
#include "tests/support/TestEnv.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPainter>
#include <QPrinter>
#include <QTimer>

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <lcms2.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>

using namespace testsupport;

namespace {

// The photo printer: 600 dpi, wide side margins, the system default.
const char* const kPhoto = "QbPhoto";
// The office printer: 300 dpi, narrow margins, three sources (the rear
// one without a shown name), names the profile it was measured with.
const char* const kOffice = "QbOffice";

std::string PhotoPpd(const std::string& filter)
{
    return MakeTestPpd(filter, "QB Photo",
                       {{"A4", "A4", 595, 842, 18, 36, 577, 806},
                        {"Postcard", "Hagaki", 283, 420, 9, 9, 274, 411},
                        {"Letter", "US Letter", 612, 792, 18, 36, 594, 756}},
                       {{"Tray1", "Tray 1"}, {"Manual", "Manual Feed"}}, 600, "A4");
}

std::string OfficePpd(const std::string& filter)
{
    return MakeTestPpd(filter, "QB Office",
                       {{"A3", "A3", 842, 1191, 12, 12, 830, 1179},
                        {"A4", "A4", 595, 842, 12, 12, 583, 830},
                        {"B5", "JIS B5", 516, 729, 12, 12, 504, 717}},
                       {{"Upper", "Upper Tray"}, {"Lower", "Lower Tray"}, {"Rear", ""}}, 300, "A4",
                       "*cupsICCProfile RGB../Office Plain: \"/usr/share/color/icc/QB Office Plain.icc\"");
}

// The queue's own defaults as libcups reports them, to see that nothing we
// do writes them.
std::map<std::string, std::string> QueueDefaults(const std::string& name)
{
    std::map<std::string, std::string> result;
    cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), nullptr);
    if (!dest)
        return result;
    for (int i = 0; i < dest->num_options; ++i)
        if (std::string(dest->options[i].name).find("time") == std::string::npos)
            result[dest->options[i].name] = dest->options[i].value;
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
    if (cups_dinfo_t* info = cupsCopyDestInfo(http, dest))
    {
        cups_size_t size {};
        if (cupsGetDestMediaDefault(http, dest, info, CUPS_MEDIA_FLAGS_DEFAULT, &size))
            result["media-default"] = size.media;
        for (const char* option : {CUPS_MEDIA_SOURCE, CUPS_ORIENTATION, CUPS_PRINT_COLOR_MODE, CUPS_COPIES})
            if (ipp_attribute_t* a = cupsFindDestDefault(http, dest, info, option))
            {
                char text[256];
                ippAttributeString(a, text, sizeof text);
                result[std::string(option) + "-default"] = text;
            }
        cupsFreeDestInfo(info);
    }
    httpClose(http);
    cupsFreeDests(1, dest);
    return result;
}

int IndexOf(const std::vector<std::pair<int, std::string>>& list, const std::string& name)
{
    for (const auto& [id, n] : list)
        if (n == name)
            return id;
    return 0;
}

// Attributes of the queue's most recent job, as the scheduler kept them.
std::map<std::string, std::string> LastJobAttributes(const std::string& queue,
                                                     const std::vector<std::string>& names)
{
    std::map<std::string, std::string> result;
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
    int id = 0;
    for (int i = 0; i < n; ++i)
        id = std::max(id, jobs[i].id);
    cupsFreeJobs(n, jobs);
    if (id == 0)
        return result;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const std::string uri = "ipp://localhost/jobs/" + std::to_string(id);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    if (ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"))
    {
        for (const auto& name : names)
            if (ipp_attribute_t* a = ippFindAttribute(response, name.c_str(), IPP_TAG_ZERO))
            {
                char text[256];
                ippAttributeString(a, text, sizeof text);
                result[name] = text;
            }
        ippDelete(response);
    }
    return result;
}

class PrinterSettingsTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (CupsTestServer::Missing())
            return;
        s_server = new CupsTestServer;
        if (s_server->Running())
        {
            s_server->AddQueue(kOffice, OfficePpd(s_server->PassThroughFilter()));
            s_server->AddQueue(kPhoto, PhotoPpd(s_server->PassThroughFilter()), true);
        }
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override
    {
        if (!s_server)
            GTEST_SKIP() << "cupsd is not installed";
        ASSERT_TRUE(s_server->Running()) << s_server->Error();
    }

    static CupsTestServer* s_server;
};

CupsTestServer* PrinterSettingsTest::s_server = nullptr;

TEST_F(PrinterSettingsTest, ListsTheQueuesInCupsOrderThenThePdfPrinter)
{
    CSystemPrinters printers;
    EXPECT_TRUE(printers.HasPrinters());
    EXPECT_EQ(printers.PrinterNames(), (std::vector<std::string> {kOffice, kPhoto, kPdfPrinterName}));
    EXPECT_EQ(printers.DefaultPrinterName(), kPhoto);

    // Tickets are kept per listed printer only.
    PrintTicket ticket;
    ticket.copies = 3;
    EXPECT_TRUE(printers.SaveDevMode(kOffice, ticket));
    EXPECT_FALSE(printers.SaveDevMode("NoSuchQueue", ticket));
    ASSERT_NE(printers.FindSavedDevMode(kOffice), nullptr);
    EXPECT_EQ(*printers.FindSavedDevMode(kOffice), ticket);
    EXPECT_EQ(printers.FindSavedDevMode(kPhoto), nullptr);
    // A new enumeration forgets them.
    printers.EnumLocalPrinters();
    EXPECT_EQ(printers.FindSavedDevMode(kOffice), nullptr);
}

TEST_F(PrinterSettingsTest, PapersCarryTheNamesAndSizesOfThePpd)
{
    struct Case
    {
        const char* queue;
        std::vector<std::string> names;
        std::vector<std::pair<int, int>> tenthMM; // portrait sheet
        int dpi;
    };
    const Case cases[] = {
        // CUPS lists the papers from the smallest up.
        {kPhoto, {"Hagaki", "A4", "US Letter"}, {{998, 1482}, {2099, 2970}, {2159, 2794}}, 600},
        {kOffice, {"JIS B5", "A4", "A3"}, {{1820, 2572}, {2099, 2970}, {2970, 4202}}, 300},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.queue);
        CPrinterSettings settings;
        ASSERT_TRUE(settings.OpenPrinterDevMode(c.queue));
        std::vector<std::pair<int, std::string>> papers;
        ASSERT_TRUE(settings.ApplyDevMode(papers));
        std::vector<std::string> names;
        for (const auto& p : papers)
            names.push_back(p.second);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(papers, settings.Papers());
        int x = 0, y = 0;
        ASSERT_TRUE(settings.GetLogPixels(x, y));
        EXPECT_EQ(x, c.dpi);
        EXPECT_EQ(y, c.dpi);
        for (std::size_t i = 0; i < papers.size(); ++i)
        {
            settings.SetPaperSize(papers[i].first);
            ASSERT_NE(settings.GetPaperName(), nullptr);
            EXPECT_EQ(*settings.GetPaperName(), c.names[i]);
            int w = 0, h = 0;
            ASSERT_TRUE(settings.GetPhysicalSizeMM(w, h));
            EXPECT_NEAR(w, c.tenthMM[i].first, 1) << c.names[i];
            EXPECT_NEAR(h, c.tenthMM[i].second, 1) << c.names[i];
        }
    }
}

TEST_F(PrinterSettingsTest, PageGeometryFollowsPaperMarginsOrientationAndResolution)
{
    // Expected dots worked out by hand from the PPD's points (1/72 inch):
    // A4 on the photo printer at 600 dpi has 18 pt side and 36 pt top and
    // bottom margins; A3 on the office printer at 300 dpi 12 pt all round.
    struct Case
    {
        const char* queue;
        const char* paper;
        bool landscape;
        int physW, physH, offX, offY, printW, printH;
    };
    const Case cases[] = {
        {kPhoto, "A4", false, 4958, 7017, 150, 300, 4658, 6417},
        {kPhoto, "A4", true, 7017, 4958, 300, 150, 6417, 4658},
        {kOffice, "A3", false, 3508, 4963, 50, 50, 3408, 4863},
        {kOffice, "A3", true, 4963, 3508, 50, 50, 4863, 3408},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.queue) + " " + c.paper + (c.landscape ? " landscape" : " portrait"));
        CPrinterSettings settings;
        ASSERT_TRUE(settings.OpenPrinterDevMode(c.queue));
        settings.LoadPapers();
        settings.SetPaperSize(IndexOf(settings.Papers(), c.paper));
        // Read once before the orientation changes: the cached answers
        // must not outlive the change.
        int w = 0, h = 0;
        ASSERT_TRUE(settings.GetPhysicalSize(w, h));
        ASSERT_TRUE(c.landscape ? settings.SetLandscape() : settings.SetPortrait());
        ASSERT_TRUE(settings.GetPhysicalSize(w, h));
        EXPECT_EQ(w, c.physW);
        EXPECT_EQ(h, c.physH);
        int x = 0, y = 0;
        ASSERT_TRUE(settings.GetPhysicalOffset(x, y));
        EXPECT_EQ(x, c.offX);
        EXPECT_EQ(y, c.offY);
        ASSERT_TRUE(settings.GetPrintableSize(w, h));
        EXPECT_EQ(w, c.printW);
        EXPECT_EQ(h, c.printH);
        const PageGeometry page = settings.GetPageGeometry();
        EXPECT_EQ(page.physicalWidth, c.physW);
        EXPECT_EQ(page.printableHeight, c.printH);
        // The 0.1 mm forms are the dot values through the one conversion.
        ASSERT_TRUE(settings.GetPrintableSizeMM(w, h));
        EXPECT_EQ(w, DotsToTenthMM(c.printW, page.dpiX));
        EXPECT_EQ(h, DotsToTenthMM(c.printH, page.dpiY));
        ASSERT_TRUE(settings.GetPhysicalOffsetMM(x, y));
        EXPECT_EQ(x, DotsToTenthMM(c.offX, page.dpiX));
    }
}

TEST_F(PrinterSettingsTest, ConversionsComeHomeWithinOneUnit)
{
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPhoto));
    for (int v : {0, 1, 7, 254, 1000, 2099, 2970})
    {
        int x = v, y = v;
        ASSERT_TRUE(settings.TenthMMToDots(x, y));
        ASSERT_TRUE(settings.DotsToTenthMM(x, y));
        EXPECT_NEAR(x, v, 1);
        EXPECT_NEAR(y, v, 1);
    }
    // Without a printer there is no resolution and nothing changes.
    CPrinterSettings closed;
    int x = 5, y = 6;
    EXPECT_FALSE(closed.DotsToTenthMM(x, y));
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 6);
}

TEST_F(PrinterSettingsTest, SourcesAreTheQueuesInputSlots)
{
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    // CUPS names the PPD's slots by their standard source keywords (Upper
    // is "top", Lower "bottom") in its own words; the rear slot, which the
    // PPD leaves unnamed, is listed too.
    const auto& bins = settings.Bins();
    ASSERT_EQ(bins, (std::vector<std::pair<int, std::string>> {{1, "Top"}, {2, "Bottom"}, {3, "Rear"}}));
    // The queue names no default source: the ticket leaves the choice to
    // the printer.
    EXPECT_EQ(settings.DevMode().bin, 0);
    EXPECT_EQ(settings.GetBinName(), nullptr);
    settings.SetBin(2);
    ASSERT_NE(settings.GetBinName(), nullptr);
    EXPECT_EQ(*settings.GetBinName(), "Bottom");
    // An id not in the list changes nothing.
    settings.SetBin(99);
    EXPECT_EQ(*settings.GetBinName(), "Bottom");
    // The photo printer has sources of its own.
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPhoto));
    EXPECT_EQ(settings.Bins().size(), 2u);
    EXPECT_EQ(settings.GetBinName(), nullptr);
}

TEST_F(PrinterSettingsTest, CopiesAreBoundedByTheServer)
{
    CPrinterSettings settings;
    EXPECT_EQ(settings.GetMaxCopies(), 0);
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    EXPECT_EQ(settings.GetMaxCopies(), 77);
    EXPECT_TRUE(settings.SetCopies(5));
    EXPECT_EQ(settings.DevMode().copies, 5);
    // The file printer writes one copy.
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPdfPrinterName));
    EXPECT_EQ(settings.GetMaxCopies(), 1);
}

TEST_F(PrinterSettingsTest, SwitchingPrintersAndBackRestoresTheSavedTicket)
{
    CSystemPrinters printers;
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPhoto));
    const PrintTicket queueDefaults = settings.DevMode();
    settings.LoadPapers();
    settings.SetPaperSize(IndexOf(settings.Papers(), "US Letter"));
    ASSERT_TRUE(settings.SetLandscape());
    ASSERT_TRUE(settings.SetCopies(4));
    const PrintTicket edited = settings.DevMode();
    ASSERT_NE(edited, queueDefaults);

    // What a dialog does on a printer change.
    ASSERT_TRUE(printers.SaveDevMode(settings.DeviceName(), settings.DevMode()));
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    EXPECT_EQ(settings.DeviceName(), kOffice);
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPhoto));
    EXPECT_EQ(settings.DevMode(), queueDefaults);
    const PrintTicket* saved = printers.FindSavedDevMode(kPhoto);
    ASSERT_NE(saved, nullptr);
    ASSERT_TRUE(settings.SetDevMode(*saved));
    EXPECT_EQ(settings.DevMode(), edited);
    settings.LoadPapers();
    ASSERT_NE(settings.GetPaperName(), nullptr);
    EXPECT_EQ(*settings.GetPaperName(), "US Letter");
    int w = 0, h = 0;
    ASSERT_TRUE(settings.GetPhysicalSize(w, h));
    EXPECT_GT(w, h);
}

TEST_F(PrinterSettingsTest, OpeningTheSamePrinterAgainResetsNothing)
{
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    settings.LoadPapers();
    settings.SetPaperSize(IndexOf(settings.Papers(), "JIS B5"));
    ASSERT_TRUE(settings.SetLandscape());
    const PrintTicket edited = settings.DevMode();
    EXPECT_TRUE(settings.OpenPrinterDevMode(kOffice));
    EXPECT_EQ(settings.DevMode(), edited);
    EXPECT_EQ(settings.Papers().size(), 3u);
}

TEST_F(PrinterSettingsTest, APrinterThatCannotBeOpenedLeavesThePreviousOneOpen)
{
    CPrinterSettings settings;
    EXPECT_FALSE(settings.OpenPrinterDevMode("NoSuchQueue"));
    EXPECT_FALSE(settings.IsOpen());
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    ASSERT_TRUE(settings.SetCopies(2));
    const PrintTicket ticket = settings.DevMode();
    EXPECT_FALSE(settings.OpenPrinterDevMode("NoSuchQueue"));
    EXPECT_TRUE(settings.IsOpen());
    EXPECT_EQ(settings.DeviceName(), kOffice);
    EXPECT_EQ(settings.DevMode(), ticket);
    EXPECT_EQ(settings.Bins().size(), 3u);
}

TEST_F(PrinterSettingsTest, TheQueuesDefaultsStayAsTheyWere)
{
    const auto before = QueueDefaults(kOffice);
    ASSERT_FALSE(before.empty());
    ASSERT_TRUE(before.count("media-default"));

    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    std::vector<std::pair<int, std::string>> papers;
    ASSERT_TRUE(settings.ApplyDevMode(papers));
    settings.SetPaperSize(IndexOf(papers, "A3"));
    ASSERT_TRUE(settings.SetLandscape());
    settings.SetBin(settings.Bins().back().first);
    ASSERT_TRUE(settings.SetCopies(9));
    PrintTicket ticket = settings.DevMode();
    ticket.options["print-color-mode"] = "monochrome";
    ASSERT_TRUE(settings.SetDevMode(ticket));
    ASSERT_TRUE(settings.ApplyDevMode(papers));
    EXPECT_NE(settings.CreatePrinterDC(), nullptr);

    EXPECT_EQ(QueueDefaults(kOffice), before);
}

TEST_F(PrinterSettingsTest, ThePropertiesDialogEditsTheTicketOnly)
{
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    const CPrinterSettings::JobOption* colour = nullptr;
    for (const auto& option : settings.JobOptions())
        if (option.name == "print-color-mode")
            colour = &option;
    ASSERT_NE(colour, nullptr);
    ASSERT_GE(colour->values.size(), 2u);
    const auto before = QueueDefaults(kOffice);

    // Cancel keeps the ticket; OK takes the chosen value.
    for (bool ok : {false, true})
    {
        QTimer::singleShot(0, [ok] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            auto* combo = dialog->findChild<QComboBox*>("print-color-mode");
            ASSERT_NE(combo, nullptr);
            combo->setCurrentIndex(combo->findData("monochrome"));
            ok ? dialog->accept() : dialog->reject();
        });
        const PrintTicket ticket = settings.DevMode();
        EXPECT_EQ(settings.ShowProperties(nullptr), ok);
        if (ok)
            EXPECT_EQ(settings.DevMode().options.at("print-color-mode"), "monochrome");
        else
            EXPECT_EQ(settings.DevMode(), ticket);
    }
    EXPECT_EQ(QueueDefaults(kOffice), before);
}

TEST_F(PrinterSettingsTest, TheStartPrinterFallsBackFromSavedToDefaultToFirst)
{
    CPrinterSettings settings;
    {
        const CSystemPrinters printers;
        const auto& names = printers.PrinterNames();
        auto at = [&](const std::string& n) { return int(std::find(names.begin(), names.end(), n) - names.begin()); };
        struct Case
        {
            std::string saved;
            std::string expected;
        };
        const Case cases[] = {
            {kOffice, kOffice},
            {kPdfPrinterName, kPdfPrinterName},
            {"GoneQueue", kPhoto}, // saved name no longer listed: the default
            {"", kPhoto},
        };
        for (const auto& c : cases)
        {
            SCOPED_TRACE(c.saved);
            CPrinterSettings fresh;
            EXPECT_EQ(OpenStartPrinter(fresh, printers, c.saved), at(c.expected));
            EXPECT_EQ(fresh.DeviceName(), c.expected);
        }
    }

    // A default that is listed but no longer opens: the first that does.
    ASSERT_TRUE(s_server->AddQueue("QbAaaGone", OfficePpd(s_server->PassThroughFilter()), true));
    const CSystemPrinters printers;
    ASSERT_EQ(printers.DefaultPrinterName(), "QbAaaGone");
    ASSERT_EQ(printers.PrinterNames().front(), "QbAaaGone");
    ASSERT_TRUE(s_server->RemoveQueue("QbAaaGone"));
    ASSERT_TRUE(s_server->SetDefault(kPhoto));
    EXPECT_EQ(OpenStartPrinter(settings, printers, "QbAaaGone"), 1);
    EXPECT_EQ(settings.DeviceName(), kOffice);
}

TEST_F(PrinterSettingsTest, AJobReachesTheQueueOnTheTicketsPaper)
{
    if (!HavePoppler())
        GTEST_SKIP() << "poppler-utils are not installed";
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    settings.LoadPapers();
    settings.SetPaperSize(IndexOf(settings.Papers(), "A3"));
    ASSERT_TRUE(settings.SetLandscape());
    settings.SetBin(2);
    PrintTicket ticket = settings.DevMode();
    ticket.options["print-color-mode"] = "monochrome";
    ASSERT_TRUE(settings.SetDevMode(ticket));
    QPrinter* printer = settings.CreatePrinterDC();
    ASSERT_NE(printer, nullptr);
    EXPECT_EQ(printer->printerName().toStdString(), kOffice);
    {
        QPainter painter;
        ASSERT_TRUE(painter.begin(printer));
        painter.fillRect(QRect(0, 0, 300, 300), Qt::blue);
        painter.end();
    }
    ASSERT_TRUE(s_server->WaitForJobs());
    const PdfInfo info = ReadPdfInfo(s_server->JobOutput(kOffice));
    EXPECT_EQ(info.pages, 1);
    // A3 as the PPD gives it (842 x 1191 points), turned.
    EXPECT_NEAR(std::max(info.width, info.height), 1191, 1);
    EXPECT_NEAR(std::min(info.width, info.height), 842, 1);
    // The source and the properties went with the job.
    const auto attributes = LastJobAttributes(kOffice, {"media-source", "print-color-mode"});
    EXPECT_EQ(attributes, (std::map<std::string, std::string> {{"media-source", "bottom"},
                                                                {"print-color-mode", "monochrome"}}));
}

// On the printer-profile path the program has converted the pixels itself:
// the job carries cm-calibration=true, which cups-filters' raster filters
// read as "apply no printer profile"; the other paths leave the queue's
// colour management alone. Checked in the job's attributes as the
// scheduler received them.
TEST_F(PrinterSettingsTest, OnlyThePrinterProfilePathTellsTheQueueNotToManageColour)
{
    testsupport::TempDir dir;
    const std::string profile = dir.File("printer.icc");
    cmsHPROFILE h = cmsCreate_sRGBProfile();
    cmsSetDeviceClass(h, cmsSigOutputClass);
    ASSERT_TRUE(cmsSaveProfileToFile(h, profile.c_str()));
    cmsCloseProfile(h);
    CRGBImage image(40, 30);
    const struct
    {
        PrintColorPath path;
        std::map<std::string, std::string> expected;
    } cases[] = {
        {PrintColorPath::PrinterProfile, {{kCupsNoColorManagement, "true"}}},
        {PrintColorPath::NoPrinterProfile, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(static_cast<int>(c.path));
        CPrinterSettings settings;
        ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
        const int methodBefore = settings.DevMode().icmMethod;
        PrintImageRequest request;
        request.image = &image;
        request.printWidth = 100;
        request.printHeight = 75;
        request.path = c.path;
        request.printerProfilePath = profile;
        request.documentName = "colour";
        ASSERT_EQ(PrintImage(settings, request, nullptr).result, PrintJobResult::Printed);
        ASSERT_TRUE(s_server->WaitForJobs());
        EXPECT_EQ(LastJobAttributes(kOffice, {kCupsNoColorManagement}), c.expected);
        // The ticket is the user's again afterwards.
        EXPECT_EQ(settings.DevMode().icmMethod, methodBefore);
    }
}

TEST_F(PrinterSettingsTest, TheAssociatedProfileIsTheOneThePpdNames)
{
    CPrinterSettings settings;
    EXPECT_EQ(settings.AssociatedProfile(), "");
    ASSERT_TRUE(settings.OpenPrinterDevMode(kOffice));
    EXPECT_EQ(settings.AssociatedProfile(), "QB Office Plain.icc");
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPhoto));
    EXPECT_EQ(settings.AssociatedProfile(), "");
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPdfPrinterName));
    EXPECT_EQ(settings.AssociatedProfile(), "");
}

// ---------------------------------------------------------------------------
// The PDF file printer needs no server.

class NoCupsServer : public ::testing::Test
{
protected:
    void SetUp() override { CupsTestServer::UseServer(m_missing.File("cups.sock")); }
    void TearDown() override { CupsTestServer::UseServer(std::string()); }

    TempDir m_missing;
    ScopedEnv m_server {"CUPS_SERVER", m_missing.File("cups.sock")};
};

TEST_F(NoCupsServer, OnlyThePdfPrinterIsListed)
{
    CSystemPrinters printers;
    EXPECT_FALSE(printers.HasPrinters());
    EXPECT_EQ(printers.PrinterNames(), std::vector<std::string> {kPdfPrinterName});
    EXPECT_EQ(printers.DefaultPrinterName(), "");
    CPrinterSettings settings;
    EXPECT_EQ(OpenStartPrinter(settings, printers, "Anything"), 0);
    EXPECT_TRUE(settings.IsPdfPrinter());
}

TEST_F(NoCupsServer, ThePdfPrinterOffersItsPapersWithoutMargins)
{
    CPrinterSettings settings;
    ASSERT_TRUE(settings.OpenPrinterDevMode(kPdfPrinterName));
    std::vector<std::pair<int, std::string>> papers;
    ASSERT_TRUE(settings.ApplyDevMode(papers));
    std::vector<std::string> names;
    for (const auto& p : papers)
        names.push_back(p.second);
    EXPECT_EQ(names, (std::vector<std::string> {"A3", "A4", "A5", "B4", "B5", "Letter", "Legal", "L判",
                                                "2L判", "はがき"}));
    ASSERT_NE(settings.GetPaperName(), nullptr);
    EXPECT_EQ(*settings.GetPaperName(), "A4");
    EXPECT_TRUE(settings.Bins().empty());
    struct Case
    {
        const char* paper;
        int w, h; // dots at 300 dpi
    };
    for (const Case& c : {Case {"A4", 2480, 3508}, Case {"L判", 1051, 1500}, Case {"はがき", 1181, 1748}})
    {
        SCOPED_TRACE(c.paper);
        settings.SetPaperSize(IndexOf(papers, c.paper));
        const PageGeometry page = settings.GetPageGeometry();
        EXPECT_EQ(page.dpiX, 300);
        EXPECT_EQ(page.physicalWidth, c.w);
        EXPECT_EQ(page.physicalHeight, c.h);
        EXPECT_EQ(page.printableWidth, c.w);
        EXPECT_EQ(page.printableHeight, c.h);
        EXPECT_EQ(page.offsetX, 0);
        EXPECT_EQ(page.offsetY, 0);
    }
}

TEST_F(NoCupsServer, ThePdfPrinterWritesOnePageOfThePapersSize)
{
    if (!HavePoppler())
        GTEST_SKIP() << "poppler-utils are not installed";
    TempDir dir;
    struct Case
    {
        const char* paper;
        bool landscape;
        double wPt, hPt;
    };
    for (const Case& c : {Case {"A4", false, 595.28, 841.89}, Case {"はがき", true, 419.53, 283.46}})
    {
        SCOPED_TRACE(c.paper);
        CPrinterSettings settings;
        ASSERT_TRUE(settings.OpenPrinterDevMode(kPdfPrinterName));
        EXPECT_EQ(settings.CreatePrinterDC(), nullptr) << "the file printer needs a file";
        const std::string file = dir.File(std::string(c.landscape ? "l" : "p") + ".pdf");
        settings.SetOutputFile(file);
        std::vector<std::pair<int, std::string>> papers;
        settings.ApplyDevMode(papers);
        settings.SetPaperSize(IndexOf(papers, c.paper));
        ASSERT_TRUE(c.landscape ? settings.SetLandscape() : settings.SetPortrait());
        QPrinter* printer = settings.CreatePrinterDC();
        ASSERT_NE(printer, nullptr);
        {
            QPainter painter;
            ASSERT_TRUE(painter.begin(printer));
            painter.fillRect(QRect(0, 0, 100, 100), Qt::red);
            // The painter's page is the printable area the geometry gives,
            // within the half point (about 2 dots at 300 dpi) to which the
            // PDF writer rounds a page.
            const PageGeometry page = settings.GetPageGeometry();
            EXPECT_NEAR(painter.viewport().width(), page.printableWidth, 2);
            EXPECT_NEAR(painter.viewport().height(), page.printableHeight, 2);
            painter.end();
        }
        const PdfInfo info = ReadPdfInfo(file);
        EXPECT_EQ(info.pages, 1);
        EXPECT_NEAR(info.width, c.wPt, 0.6);
        EXPECT_NEAR(info.height, c.hPt, 0.6);
    }
}

TEST(PrinterProfiles, OnlyOutputClassProfilesOfTheColourDirectoryAreListed)
{
    PrivateUserFolders folders;
    std::string dir;
    ASSERT_TRUE(platform::ColorDirectory(dir));
    auto save = [&](const std::string& name, cmsProfileClassSignature cls) {
        cmsHPROFILE p = cmsCreate_sRGBProfile();
        cmsSetDeviceClass(p, cls);
        ASSERT_TRUE(cmsSaveProfileToFile(p, (dir + name).c_str()));
        cmsCloseProfile(p);
    };
    save("b printer.icc", cmsSigOutputClass);
    save("a monitor.icm", cmsSigDisplayClass);
    save("c printer.icm", cmsSigOutputClass);
    save("d input.icc", cmsSigInputClass);
    FILE* junk = std::fopen((dir + "e broken.icc").c_str(), "w");
    ASSERT_NE(junk, nullptr);
    std::fputs("prtr", junk);
    std::fclose(junk);
    EXPECT_EQ(ListPrinterProfiles(), (std::vector<std::string> {"b printer.icc", "c printer.icm"}));
}

} // namespace
