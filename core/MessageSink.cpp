#include "core/MessageSink.h"

#include <atomic>
#include <cstdio>

namespace {

std::atomic<IMessageSink*> g_sink{nullptr};

} // namespace

void SetMessageSink(IMessageSink* sink)
{
    g_sink.store(sink);
}

IMessageSink* GetMessageSink()
{
    return g_sink.load();
}

int ShowMessage(int stringId, std::vector<std::string> args, MessageButtons buttons,
                MessageIcon icon)
{
    if (IMessageSink* sink = g_sink.load())
        return sink->ShowMessage(stringId, args, buttons, icon);

    std::fprintf(stderr, "message %d", stringId);
    for (const std::string& arg : args)
        std::fprintf(stderr, " [%s]", arg.c_str());
    std::fputc('\n', stderr);
    return (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel)
               ? kMessageYes
               : kMessageOk;
}
