#include "platform/TerminationSignals.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>

using platform::TerminationSignals;

namespace {

// Each signal's disposition set for the test and put back afterwards.
class SignalDispositions
{
public:
    explicit SignalDispositions(void (*handler)(int))
    {
        for (std::size_t i = 0; i < TerminationSignals::kSignals.size(); ++i)
        {
            struct sigaction action = {};
            action.sa_handler = handler;
            sigemptyset(&action.sa_mask);
            ::sigaction(TerminationSignals::kSignals[i], &action, &m_saved[i]);
        }
    }
    ~SignalDispositions()
    {
        for (std::size_t i = 0; i < TerminationSignals::kSignals.size(); ++i)
            ::sigaction(TerminationSignals::kSignals[i], &m_saved[i], nullptr);
    }
    SignalDispositions(const SignalDispositions&) = delete;
    SignalDispositions& operator=(const SignalDispositions&) = delete;

private:
    std::array<struct sigaction, TerminationSignals::kSignals.size()> m_saved{};
};

volatile std::sig_atomic_t g_counted = 0;
extern "C" void CountSignal(int)
{
    g_counted = g_counted + 1;
}

void (*HandlerOf(int signal))(int)
{
    struct sigaction now = {};
    ::sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

bool Readable(int fd)
{
    pollfd entry = {fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

} // namespace

// Each signal makes the descriptor readable and is taken once; the
// previous handler comes back with the object's end.
TEST(TerminationSignalsTest, EachSignalReachesTheDescriptorOnce)
{
    const SignalDispositions counting(CountSignal);
    for (const int signal : TerminationSignals::kSignals)
    {
        SCOPED_TRACE(signal);
        g_counted = 0;
        {
            TerminationSignals termination;
            ASSERT_GE(termination.Descriptor(), 0);
            EXPECT_TRUE(termination.IsInstalled());
            EXPECT_FALSE(Readable(termination.Descriptor()));
            EXPECT_EQ(termination.Take(), 0);

            ASSERT_EQ(::raise(signal), 0);
            ASSERT_EQ(::raise(signal), 0);
            EXPECT_TRUE(Readable(termination.Descriptor()));
            EXPECT_EQ(termination.Take(), signal);
            EXPECT_FALSE(Readable(termination.Descriptor()));
            EXPECT_EQ(termination.Take(), 0);
            EXPECT_EQ(g_counted, 0) << "the previous handler is not called meanwhile";
        }
        EXPECT_EQ(HandlerOf(signal), &CountSignal);
        ASSERT_EQ(::raise(signal), 0);
        EXPECT_EQ(g_counted, 1);
    }
}

// The newest object takes the signals; once it is gone the one before has
// them again.
TEST(TerminationSignalsTest, ObjectsNest)
{
    const SignalDispositions counting(CountSignal);
    TerminationSignals outer;
    {
        TerminationSignals inner;
        ASSERT_EQ(::raise(SIGTERM), 0);
        EXPECT_EQ(inner.Take(), SIGTERM);
        EXPECT_EQ(outer.Take(), 0);
    }
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_EQ(outer.Take(), SIGHUP);
}

// A program started with a signal ignored (nohup, a background job) keeps
// it ignored.
TEST(TerminationSignalsTest, IgnoredSignalsStayIgnored)
{
    const SignalDispositions ignoring(SIG_IGN);
    {
        TerminationSignals termination;
        EXPECT_FALSE(termination.IsInstalled());
        for (const int signal : TerminationSignals::kSignals)
        {
            EXPECT_EQ(HandlerOf(signal), SIG_IGN) << signal;
            ASSERT_EQ(::raise(signal), 0);
        }
        EXPECT_EQ(termination.Take(), 0);
    }
    for (const int signal : TerminationSignals::kSignals)
        EXPECT_EQ(HandlerOf(signal), SIG_IGN) << signal;
}
