// One instance per user: the message a second start sends (every way it
// can be cut short, oversized or broken), the lock taken before the probe,
// the private socket, a crashed instance's lock taken over, and a real
// second process that forwards its arguments and ends.

#include "app/shell/SingleInstance.h"
#include "app/shell/ForwardMessage.h"
#include "tests/app/shell/InstanceHelperProcess.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QTest>

#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

// ---- Message bytes --------------------------------------------------------

std::string U32(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>((value >> 16) & 0xFF),
            static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

std::string Arg(const std::string& text)
{
    return U32(static_cast<std::uint32_t>(text.size())) + text;
}

// A payload with its size field in front.
std::string Framed(const std::string& payload)
{
    return U32(static_cast<std::uint32_t>(payload.size())) + payload;
}

TEST(ForwardMessage, RoundTripsEveryArgumentAsSent)
{
    const std::string longest(kMaxForwardArgumentBytes, 'p');
    const std::vector<Arguments> cases = {
        {},
        {"/usr/bin/chromivel"},
        {"/usr/bin/chromivel", "-x", "/home/user/写真/a b.jpg", ""},
        {"/p", longest},
    };
    for (const Arguments& arguments : cases)
    {
        const std::optional<std::string> message = EncodeForwardMessage(arguments);
        ASSERT_TRUE(message.has_value()) << arguments.size();
        Arguments decoded = {"left over"};
        EXPECT_EQ(DecodeForwardMessage(*message, decoded), ForwardDecode::Complete);
        EXPECT_EQ(decoded, arguments);
    }
}

TEST(ForwardMessage, DecodeTrustsNoField)
{
    struct Case
    {
        const char* what;
        std::string bytes;
        ForwardDecode expected;
        Arguments arguments; // when Complete
    };
    const std::string two = U32(2) + Arg("/a") + Arg("写真");
    const Case cases[] = {
        {"nothing yet", "", ForwardDecode::Incomplete, {}},
        {"size field cut short", std::string(3, '\0'), ForwardDecode::Incomplete, {}},
        {"payload cut short", Framed(two).substr(0, 9), ForwardDecode::Incomplete, {}},
        {"zero arguments", Framed(U32(0)), ForwardDecode::Complete, {}},
        {"two arguments", Framed(two), ForwardDecode::Complete, {"/a", "写真"}},
        {"size above the cap, before any payload", U32(kMaxForwardPayloadBytes + 1),
         ForwardDecode::Malformed, {}},
        {"size of 4 GiB", U32(0xFFFFFFFF), ForwardDecode::Malformed, {}},
        {"size too small to hold a count", U32(3) + "abc", ForwardDecode::Malformed, {}},
        {"size zero", U32(0), ForwardDecode::Malformed, {}},
        {"count the payload cannot hold", Framed(U32(0xFFFFFFFF) + Arg("/a")), ForwardDecode::Malformed, {}},
        {"count above the cap", Framed(U32(kMaxForwardArguments + 1) + std::string(4 * (kMaxForwardArguments + 1), '\0')),
         ForwardDecode::Malformed, {}},
        {"count one more than the arguments", Framed(U32(2) + Arg("/a") + U32(0).substr(0, 2)),
         ForwardDecode::Malformed, {}},
        {"length runs past the payload", Framed(U32(1) + U32(10) + "/a"), ForwardDecode::Malformed, {}},
        {"length of 4 GiB", Framed(U32(1) + U32(0xFFFFFFFF) + "/a"), ForwardDecode::Malformed, {}},
        {"argument longer than any path", Framed(U32(1) + Arg(std::string(kMaxForwardArgumentBytes + 1, 'x'))),
         ForwardDecode::Malformed, {}},
        {"bytes after the last argument", Framed(U32(1) + Arg("/a") + "zz"), ForwardDecode::Malformed, {}},
        {"a second message behind the first", Framed(U32(0)) + Framed(U32(0)), ForwardDecode::Malformed, {}},
        {"not UTF-8", Framed(U32(1) + Arg("/a\xFF")), ForwardDecode::Malformed, {}},
        {"UTF-8 cut inside a character", Framed(U32(1) + Arg("/\xE5\x86")), ForwardDecode::Malformed, {}},
        {"overlong UTF-8 slash", Framed(U32(1) + Arg("\xC0\xAF" "etc")), ForwardDecode::Malformed, {}},
        {"a surrogate", Framed(U32(1) + Arg("\xED\xA0\x80")), ForwardDecode::Malformed, {}},
        {"a NUL inside a path", Framed(U32(1) + Arg(std::string("/a\0b", 4))), ForwardDecode::Malformed, {}},
        {"a good argument before a broken one", Framed(U32(2) + Arg("/a") + Arg("\xFF")),
         ForwardDecode::Malformed, {}},
    };
    for (const Case& c : cases)
    {
        Arguments decoded = {"left over"};
        EXPECT_EQ(DecodeForwardMessage(c.bytes, decoded), c.expected) << c.what;
        // Nothing of a message that is not complete is handed out.
        EXPECT_EQ(decoded, c.arguments) << c.what;
    }
}

// Wherever a connection ends, what came so far is never a message.
TEST(ForwardMessage, EveryTruncationIsIncomplete)
{
    const std::optional<std::string> message =
        EncodeForwardMessage({"/usr/bin/chromivel", "-x", "/home/user/写真.jpg"});
    ASSERT_TRUE(message.has_value());
    for (std::size_t length = 0; length < message->size(); ++length)
    {
        Arguments decoded;
        EXPECT_EQ(DecodeForwardMessage(std::string_view(*message).substr(0, length), decoded),
                  ForwardDecode::Incomplete)
            << length;
    }
}

TEST(ForwardMessage, EncodeRefusesWhatDecodeWouldRefuse)
{
    struct Case
    {
        const char* what;
        Arguments arguments;
    };
    const Case cases[] = {
        {"argument longer than any path", {"/p", std::string(kMaxForwardArgumentBytes + 1, 'x')}},
        {"not UTF-8", {"/p", "/a\xFF"}},
        {"a NUL", {"/p", std::string("/a\0b", 4)}},
        {"more arguments than the cap", Arguments(kMaxForwardArguments + 1, "-")},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(EncodeForwardMessage(c.arguments).has_value()) << c.what;
}

// The sender leaves out what cannot name a file and stops at the caps; what
// it keeps always makes a message the receiver takes.
TEST(ForwardMessage, FitKeepsOrderAndStopsAtTheCaps)
{
    EXPECT_EQ(FitForwardArguments({"/p", "/a\xFF", "-x", std::string(kMaxForwardArgumentBytes + 1, 'y'),
                                   std::string("/n\0ul", 5), "/b"}),
              (Arguments{"/p", "-x", "/b"}));

    // Paths of the longest length: 4 + k * (4 + 4095) bytes must stay
    // within the payload cap, which allows k = 4093.
    const std::string longest(kMaxForwardArgumentBytes, 'p');
    const Arguments many(4100, longest);
    const Arguments fitted = FitForwardArguments(many);
    const std::size_t expected = (kMaxForwardPayloadBytes - 4) / (4 + kMaxForwardArgumentBytes);
    EXPECT_EQ(fitted.size(), expected);
    const std::optional<std::string> message = EncodeForwardMessage(fitted);
    ASSERT_TRUE(message.has_value());
    EXPECT_LE(message->size(), kForwardHeaderBytes + kMaxForwardPayloadBytes);
    Arguments decoded;
    EXPECT_EQ(DecodeForwardMessage(*message, decoded), ForwardDecode::Complete);
    EXPECT_EQ(decoded.size(), expected);

    const Arguments countCapped = FitForwardArguments(Arguments(kMaxForwardArguments + 5, "-"));
    EXPECT_EQ(countCapped.size(), kMaxForwardArguments);
    EXPECT_TRUE(EncodeForwardMessage(countCapped).has_value());
}

// ---- Lock, socket and a second process ----------------------------------------

const QString kName = QStringLiteral("CHROMIVEL!2");

class SingleInstance : public testing::Test
{
protected:
    SingleInstance() : m_runtimeEnv("XDG_RUNTIME_DIR", m_runtime.Path()) {}

    static int RunHelper(const QStringList& arguments, const QString& workingFolder = QString())
    {
        return RunInstanceHelper(arguments, workingFolder);
    }

    std::string ConfigFolder() const { return m_user.File("config"); }

    testsupport::PrivateUserFolders m_user;
    testsupport::TempDir m_runtime;
    testsupport::ScopedEnv m_runtimeEnv;
};

TEST_F(SingleInstance, NamesCarryTheApplicationAndTheUserInThePrivateFolder)
{
    const QString folder = QString::fromStdString(m_runtime.Path());
    EXPECT_EQ(InstanceFolder(), folder);
    const QString lock = InstanceLockPath(kName);
    const QString server = InstanceServerPath(kName);
    EXPECT_TRUE(lock.startsWith(folder + kName + " MUTEX-")) << lock.toStdString();
    EXPECT_TRUE(lock.endsWith(".lock"));
    EXPECT_TRUE(server.startsWith(folder + kName + "-")) << server.toStdString();
    EXPECT_TRUE(server.endsWith(".socket"));
    EXPECT_NE(InstanceServerPath(QStringLiteral("OTHER")), server);

    // Without a usable run-time folder: the user's cache tree, made
    // private, never /tmp.
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>("relative/run"),
          std::optional<std::string>(m_runtime.Path() + "missing")})
    {
        std::optional<testsupport::ScopedEnv> env;
        if (value)
            env.emplace("XDG_RUNTIME_DIR", *value);
        else
            env.emplace("XDG_RUNTIME_DIR");
        const std::string expected = m_user.File("cache/Quillbrake/");
        EXPECT_EQ(InstanceFolder().toStdString(), expected) << value.value_or("<unset>");
        struct stat info{};
        ASSERT_EQ(::stat(expected.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 077, 0u);
    }
}

TEST_F(SingleInstance, FirstHoldsTheLockAndServesPrivatelyLaterStartsAreSecond)
{
    CSingleInstance first(kName);
    ASSERT_EQ(first.Acquire(), CSingleInstance::Start::First);
    EXPECT_TRUE(first.HoldsLock());
    EXPECT_TRUE(first.IsServing());
    EXPECT_TRUE(QFileInfo::exists(InstanceLockPath(kName)));

    struct stat info{};
    ASSERT_EQ(::stat(InstanceServerPath(kName).toLocal8Bit().constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 077, 0u) << std::oct << info.st_mode;

    // The lock decides, not the socket: a start that finds it held is second
    // even while the first is still busy starting.
    CSingleInstance second(kName);
    EXPECT_EQ(second.Acquire(), CSingleInstance::Start::Second);
    EXPECT_FALSE(second.HoldsLock());
    EXPECT_FALSE(second.IsServing());

    first.Release();
    EXPECT_FALSE(first.HoldsLock());
    EXPECT_FALSE(QFileInfo::exists(InstanceLockPath(kName)));
    CSingleInstance third(kName);
    EXPECT_EQ(third.Acquire(), CSingleInstance::Start::First);
}

// Requests arrive whole and in order; a connection that breaks off or
// sends nonsense delivers nothing and the server goes on serving.
TEST_F(SingleInstance, BrokenConnectionsDeliverNothing)
{
    CSingleInstance first(kName);
    ASSERT_EQ(first.Acquire(), CSingleInstance::Start::First);
    std::vector<Arguments> received;
    first.SetRequestHandler([&](const Arguments& arguments) { received.push_back(arguments); });

    const std::optional<std::string> good = EncodeForwardMessage({"/p", "/x.jpg"});
    ASSERT_TRUE(good.has_value());
    const std::vector<std::string> broken = {
        good->substr(0, good->size() - 1), // cut short, then the sender leaves
        U32(kMaxForwardPayloadBytes + 1),  // oversized
        Framed(U32(1) + Arg("\xFF")),      // not UTF-8
        "",                                // connects and leaves at once
    };
    for (const std::string& bytes : broken)
    {
        QLocalSocket socket;
        socket.connectToServer(InstanceServerPath(kName));
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket.waitForBytesWritten(5000);
        socket.disconnectFromServer();
        QCoreApplication::processEvents();
    }
    CSingleInstance sender(kName);
    ASSERT_EQ(sender.Acquire(), CSingleInstance::Start::Second);
    ASSERT_TRUE(sender.Forward({"/p", "/1.jpg"}));
    ASSERT_TRUE(sender.Forward({"/p", "-s", "/2.jpg", "/3.jpg"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= 2; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(received, (std::vector<Arguments>{{"/p", "/1.jpg"}, {"/p", "-s", "/2.jpg", "/3.jpg"}}));
}

// Nobody serving behind a held lock: the second start gives up after its
// tries and says so.
TEST_F(SingleInstance, ForwardFailsWhenNobodyAnswers)
{
    QLockFile held(InstanceLockPath(kName));
    ASSERT_TRUE(held.tryLock(0));
    CSingleInstance second(kName);
    ASSERT_EQ(second.Acquire(), CSingleInstance::Start::Second);
    EXPECT_FALSE(second.Forward({"/p", "/a.jpg"}, 200));
}

// A second CHROMIVEL process: it forwards its arguments (relative ones made
// absolute against its own working folder) and ends with 0, without making
// a window, writing settings or touching the DDC/CI busy value.
TEST_F(SingleInstance, SecondProcessForwardsInOrderAndEnds)
{
    CSingleInstance first(kName);
    ASSERT_EQ(first.Acquire(), CSingleInstance::Start::First);
    std::vector<Arguments> received;
    first.SetRequestHandler([&](const Arguments& arguments) { received.push_back(arguments); });

    // A file of the running instance's work folder: the start-up's clean-up
    // comes after the lock, so a second start never removes it.
    const std::string live = m_user.File("cache/Quillbrake/CHROMIVEL/PMSlive.tmp");
    std::filesystem::create_directories(m_user.File("cache/Quillbrake/CHROMIVEL"));
    testsupport::WriteTextFile(live, "in use");
    std::filesystem::create_directories(m_user.File("work"));
    const QString work = QString::fromStdString(m_user.File("work"));
    const QString marker = QString::fromStdString(m_user.File("window-made"));
    EXPECT_EQ(RunHelper({"start", marker, "pics/a.jpg", "-x", "/abs/b.jpg", "写真.jpg"}, work), 0);
    EXPECT_EQ(RunHelper({"start", marker, "/abs/second.jpg"}, work), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= 2; }, 10000));

    const std::string helper = QB_INSTANCE_HELPER;
    const std::string base = m_user.File("work/");
    EXPECT_EQ(received, (std::vector<Arguments>{
                            {helper, base + "pics/a.jpg", "-x", "/abs/b.jpg", base + "写真.jpg"},
                            {helper, "/abs/second.jpg"},
                        }));
    EXPECT_FALSE(QFileInfo::exists(marker));
    // No settings and no busy value: nothing of ours under the user's
    // configuration folder.
    EXPECT_FALSE(std::filesystem::exists(ConfigFolder() + "/Quillbrake"));
    EXPECT_TRUE(std::filesystem::exists(live));
    EXPECT_TRUE(first.HoldsLock());
}

TEST_F(SingleInstance, SecondProcessWithoutAnAnswerEndsWithoutAWindow)
{
    QLockFile held(InstanceLockPath(kName));
    ASSERT_TRUE(held.tryLock(0));
    const QString marker = QString::fromStdString(m_user.File("window-made"));
    EXPECT_EQ(RunHelper({"start", marker, "/abs/a.jpg"}), 1);
    EXPECT_FALSE(QFileInfo::exists(marker));
    EXPECT_FALSE(std::filesystem::exists(ConfigFolder() + "/Quillbrake"));
}

// An instance that crashed left its lock and its socket file behind: the
// next start takes both over and serves; a later start reaches it.
TEST_F(SingleInstance, CrashedInstanceIsTakenOver)
{
    ASSERT_EQ(RunHelper({"crash-holding-lock", kName}), 0);
    ASSERT_TRUE(QFileInfo::exists(InstanceLockPath(kName)));
    ASSERT_TRUE(QFileInfo::exists(InstanceServerPath(kName)));
    qint64 pid = 0;
    QString host;
    QString application;
    ASSERT_TRUE(QLockFile(InstanceLockPath(kName)).getLockInfo(&pid, &host, &application));
    EXPECT_NE(pid, QCoreApplication::applicationPid());

    CSingleInstance next(kName);
    ASSERT_EQ(next.Acquire(), CSingleInstance::Start::First);
    EXPECT_TRUE(next.HoldsLock());
    EXPECT_TRUE(next.IsServing());
    ASSERT_TRUE(QLockFile(InstanceLockPath(kName)).getLockInfo(&pid, &host, &application));
    EXPECT_EQ(pid, QCoreApplication::applicationPid());

    std::vector<Arguments> received;
    next.SetRequestHandler([&](const Arguments& arguments) { received.push_back(arguments); });
    const QString marker = QString::fromStdString(m_user.File("window-made"));
    EXPECT_EQ(RunHelper({"start", marker, "/abs/after-crash.jpg"}), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !received.empty(); }, 10000));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].back(), "/abs/after-crash.jpg");
}

} // namespace
