#pragma once
// A message sink that records every message and answers with a set reply;
// registers itself for its lifetime.

#include "core/MessageSink.h"

#include <string>
#include <vector>

namespace testsupport {

class RecordingMessageSink : public IMessageSink
{
public:
    struct Message
    {
        int stringId;
        std::vector<std::string> args;
        MessageButtons buttons;
    };

    explicit RecordingMessageSink(int answer = kMessageOk) : m_answer(answer)
    {
        m_previous = GetMessageSink();
        SetMessageSink(this);
    }
    ~RecordingMessageSink() override { SetMessageSink(m_previous); }

    int ShowMessage(int stringId, const std::vector<std::string>& args, MessageButtons buttons,
                    MessageIcon) override
    {
        messages.push_back({stringId, args, buttons});
        return m_answer;
    }

    std::vector<Message> messages;

private:
    int m_answer;
    IMessageSink* m_previous = nullptr;
};

} // namespace testsupport
