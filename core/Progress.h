#pragma once
// Progress and cancel: how a long operation tells how far it has come and
// learns whether to stop.
//
// The receiving side implements IProgressSink (the GUI's progress dialogs
// and adapters, a test's recorder); the operations take a Progress, a
// non-owning handle to a sink passed by value. An empty handle reports
// nothing and never cancels. The sink must outlive every handle to it.
//
// Units. A report takes one of two forms:
//   Report(value)        a number in the unit of the slot it goes to:
//                        a fraction 0..1 or a percent 0..100;
//   Report(done, total)  a count: done items (rows, entries) of total.
// Which form and unit each operation uses is written down where it is
// declared: the step documents and RunRowBands report percent, the
// working image's row operations (CRGBImage) report (rows done, height),
// and the project's slots keep the units listed in
// correction/ProjectManage.h (list load percent, image load and save
// fraction, steps percent, snapshots (done, total)).
//
// The answer: true goes on, false asks the operation to stop. A sink that
// does not override the counted form receives CountFraction(done, total),
// so a fraction slot may take either.
// A caller that must tell a cancel from a failure when an operation
// returns false watches the handle it passes with a CancelWatch.

#include <cstdint>
#include <type_traits>
#include <utility>

// done / total, and 1 (all of nothing is done) for a total that is not
// positive.
inline double CountFraction(std::int64_t done, std::int64_t total)
{
    return total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
}

class IProgressSink
{
public:
    virtual ~IProgressSink() = default;
    // A value in the slot's unit. False asks to stop.
    virtual bool Report(double value) = 0;
    // done of total. False asks to stop.
    virtual bool Report(std::int64_t done, std::int64_t total)
    {
        return Report(CountFraction(done, total));
    }
};

class Progress
{
public:
    Progress() = default;
    Progress(IProgressSink& sink) : m_sink(&sink) {}

    // Whether a sink listens.
    explicit operator bool() const { return m_sink != nullptr; }

    bool Report(double value) const { return !m_sink || m_sink->Report(value); }
    bool Report(std::int64_t done, std::int64_t total) const
    {
        return !m_sink || m_sink->Report(done, total);
    }

private:
    IProgressSink* m_sink = nullptr;
};

// A sink made of a callable, for tests and for a caller that maps reports
// on to another handle. f takes (double) for the value form and/or
// (std::int64_t, std::int64_t) for the counted form, and answers bool
// (false stops) or nothing (goes on). Without a value form the values are
// dropped; without a counted form the counts arrive as fractions.
template <class F> class ProgressFunction final : public IProgressSink
{
public:
    explicit ProgressFunction(F f) : m_f(std::move(f)) {}

    bool Report(double value) override
    {
        if constexpr (std::is_invocable_v<F&, double>)
            return Answer(m_f, value);
        else
            return true;
    }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        if constexpr (std::is_invocable_v<F&, std::int64_t, std::int64_t>)
            return Answer(m_f, done, total);
        else
            return IProgressSink::Report(done, total);
    }

private:
    template <class... Args> static bool Answer(F& f, Args... args)
    {
        if constexpr (std::is_void_v<std::invoke_result_t<F&, Args...>>)
        {
            f(args...);
            return true;
        }
        else
            return static_cast<bool>(f(args...));
    }

    F m_f;
};

// Passes every report on to a handle and remembers whether one was
// answered false. Watched() is the handle to give the operation: empty when
// the watched one is (nothing listens, so nothing can cancel).
class CancelWatch final : private IProgressSink
{
public:
    explicit CancelWatch(Progress target) : m_target(target) {}
    CancelWatch(const CancelWatch&) = delete;
    CancelWatch& operator=(const CancelWatch&) = delete;

    Progress Watched() { return m_target ? Progress(*this) : Progress(); }
    bool Cancelled() const { return m_cancelled; }

private:
    bool Report(double value) override { return Note(m_target.Report(value)); }
    bool Report(std::int64_t done, std::int64_t total) override
    {
        return Note(m_target.Report(done, total));
    }
    bool Note(bool goOn)
    {
        if (!goOn)
            m_cancelled = true;
        return goOn;
    }

    Progress m_target;
    bool m_cancelled = false;
};
