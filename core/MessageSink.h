#pragma once
// Messages to the user from below the GUI. Code in core/ and the layers
// above it that have no windows reports a message by its string number;
// the GUI registers a sink that looks the text up in the program's string
// table, fills in the arguments and shows a message box. Tests register a
// recording sink.

#include <string>
#include <vector>

enum class MessageButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel
};

enum class MessageIcon
{
    None,
    Information,
    Warning,
    Error,
    Question
};

// The answers, with the numbers the design's message boxes return.
inline constexpr int kMessageOk = 1;
inline constexpr int kMessageCancel = 2;
inline constexpr int kMessageYes = 6;
inline constexpr int kMessageNo = 7;

class IMessageSink
{
public:
    virtual ~IMessageSink() = default;
    // args fill the text's printf-style fields in order (already formatted
    // as text). Returns one of the kMessage... answers.
    virtual int ShowMessage(int stringId, const std::vector<std::string>& args,
                            MessageButtons buttons, MessageIcon icon) = 0;
};

// Registers the sink (not owned; null removes it). Without a sink a message
// is written to standard error and answered with the first button (Ok or
// Yes).
void SetMessageSink(IMessageSink* sink);
IMessageSink* GetMessageSink();

// Registers a sink for the lifetime of this object and puts back the one
// that was registered before (the GUI's sink for the program's run, a test's
// sink for one test).
class ScopedMessageSink
{
public:
    explicit ScopedMessageSink(IMessageSink& sink) : m_previous(GetMessageSink())
    {
        SetMessageSink(&sink);
    }
    ~ScopedMessageSink() { SetMessageSink(m_previous); }
    ScopedMessageSink(const ScopedMessageSink&) = delete;
    ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

private:
    IMessageSink* m_previous;
};

int ShowMessage(int stringId, std::vector<std::string> args = {},
                MessageButtons buttons = MessageButtons::Ok,
                MessageIcon icon = MessageIcon::None);
