#include "app/shell/ForwardMessage.h"

#include "platform/Text.h"

#include <utility>

namespace {

void AppendU32(std::string& out, std::uint32_t value)
{
    out.push_back(static_cast<char>((value >> 24) & 0xFF));
    out.push_back(static_cast<char>((value >> 16) & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

// The caller has checked that four bytes are there.
std::uint32_t ReadU32(std::string_view bytes, std::size_t at)
{
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3]));
}

bool IsPassableArgument(std::string_view argument)
{
    return argument.size() <= kMaxForwardArgumentBytes &&
           argument.find('\0') == std::string_view::npos && platform::IsValidUtf8(argument);
}

} // namespace

std::optional<std::string> EncodeForwardMessage(const std::vector<std::string>& arguments)
{
    if (arguments.size() > kMaxForwardArguments)
        return std::nullopt;
    std::size_t payload = 4;
    for (const std::string& argument : arguments)
    {
        if (!IsPassableArgument(argument))
            return std::nullopt;
        payload += 4 + argument.size();
        if (payload > kMaxForwardPayloadBytes)
            return std::nullopt;
    }
    std::string message;
    message.reserve(kForwardHeaderBytes + payload);
    AppendU32(message, static_cast<std::uint32_t>(payload));
    AppendU32(message, static_cast<std::uint32_t>(arguments.size()));
    for (const std::string& argument : arguments)
    {
        AppendU32(message, static_cast<std::uint32_t>(argument.size()));
        message += argument;
    }
    return message;
}

std::vector<std::string> FitForwardArguments(const std::vector<std::string>& arguments)
{
    std::vector<std::string> fitted;
    std::size_t payload = 4;
    for (const std::string& argument : arguments)
    {
        if (!IsPassableArgument(argument))
            continue;
        if (fitted.size() == kMaxForwardArguments ||
            payload + 4 + argument.size() > kMaxForwardPayloadBytes)
            break;
        payload += 4 + argument.size();
        fitted.push_back(argument);
    }
    return fitted;
}

ForwardDecode DecodeForwardMessage(std::string_view bytes, std::vector<std::string>& arguments)
{
    arguments.clear();
    if (bytes.size() < kForwardHeaderBytes)
        return ForwardDecode::Incomplete;
    const std::size_t size = ReadU32(bytes, 0);
    if (size > kMaxForwardPayloadBytes || size < 4)
        return ForwardDecode::Malformed;
    const std::size_t available = bytes.size() - kForwardHeaderBytes;
    if (available < size)
        return ForwardDecode::Incomplete;
    if (available > size)
        return ForwardDecode::Malformed;

    const std::string_view payload = bytes.substr(kForwardHeaderBytes);
    const std::size_t count = ReadU32(payload, 0);
    std::size_t at = 4;
    // Every argument takes at least its length field: a count that the
    // payload cannot hold is refused before anything is reserved for it.
    if (count > kMaxForwardArguments || count > (payload.size() - at) / 4)
        return ForwardDecode::Malformed;

    std::vector<std::string> decoded;
    decoded.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        if (payload.size() - at < 4)
            return ForwardDecode::Malformed;
        const std::size_t length = ReadU32(payload, at);
        at += 4;
        if (length > kMaxForwardArgumentBytes || length > payload.size() - at)
            return ForwardDecode::Malformed;
        const std::string_view argument = payload.substr(at, length);
        if (!IsPassableArgument(argument))
            return ForwardDecode::Malformed;
        decoded.emplace_back(argument);
        at += length;
    }
    if (at != payload.size())
        return ForwardDecode::Malformed;
    arguments = std::move(decoded);
    return ForwardDecode::Complete;
}
