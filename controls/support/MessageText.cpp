#include "controls/support/MessageText.h"

#include <cstring>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The length of the field that starts at text[at] (a '%'), or 0 when none
// starts there.
std::size_t FieldLength(std::string_view text, std::size_t at)
{
    std::size_t i = at + 1;
    const auto more = [&] { return i < text.size(); };
    while (more() && std::strchr("-+ #0", text[i]) != nullptr)
        ++i;
    if (more() && text[i] == '*')
        ++i;
    else
        while (more() && IsDigit(text[i]))
            ++i;
    if (more() && text[i] == '.')
    {
        ++i;
        if (more() && text[i] == '*')
            ++i;
        else
            while (more() && IsDigit(text[i]))
                ++i;
    }
    if (text.substr(i).starts_with("I64"))
        i += 3;
    else
        while (more() && std::strchr("hlLqjzt", text[i]) != nullptr)
            ++i;
    if (!more() || std::strchr("diouxXeEfFgGaAcsSp", text[i]) == nullptr)
        return 0;
    return i + 1 - at;
}

// Walks the text once: plain runs go to onText, each field to onField.
template <typename OnText, typename OnField>
void ScanMessage(std::string_view text, OnText onText, OnField onField)
{
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size())
    {
        if (text[i] != '%')
        {
            ++i;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%')
        {
            onText(text.substr(start, i + 1 - start)); // up to and with one '%'
            i += 2;
            start = i;
            continue;
        }
        const std::size_t length = FieldLength(text, i);
        if (length == 0)
        {
            ++i; // a stray '%' stays in the plain run
            continue;
        }
        onText(text.substr(start, i - start));
        onField();
        i += length;
        start = i;
    }
    onText(text.substr(start));
}

} // namespace

std::string FormatMessageText(std::string_view text, const std::vector<std::string>& args)
{
    std::string out;
    std::size_t next = 0;
    ScanMessage(
        text, [&](std::string_view run) { out += run; },
        [&] {
            if (next < args.size())
                out += args[next++];
        });
    if (next < args.size())
    {
        out += "\n";
        for (; next < args.size(); ++next)
        {
            out += "\n";
            out += args[next];
        }
    }
    return out;
}

int CountMessageFields(std::string_view text)
{
    int fields = 0;
    ScanMessage(text, [](std::string_view) {}, [&] { ++fields; });
    return fields;
}

std::string MissingMessageText(int stringId)
{
    return "(message " + std::to_string(stringId) + ")";
}
