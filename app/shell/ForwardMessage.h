#pragma once
// The message a second start of the program sends to the running one over
// the instance's local socket: its arguments, each one a separate string,
// so that nothing has to be split again on the receiving side.
//
//   message  = size (u32) payload          size = bytes of the payload
//   payload  = count (u32) argument*count
//   argument = length (u32) bytes          UTF-8, no NUL
//
// Numbers are unsigned 32-bit, most significant byte first. One message per
// connection; the sender closes its end afterwards.
//
// The receiver trusts no field: the size is capped before anything is
// buffered, the count is checked against the bytes that can hold it (every
// argument needs its 4-byte length) before anything is reserved, every
// length against the bytes left and the cap of one argument, every
// argument for UTF-8 and NUL, and bytes after the last argument or a
// message cut short make it malformed. A malformed message is dropped
// whole: half a command line would open the wrong files.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Caps of one message. An argument is a path or a switch: no absolute path
// the system can open is longer than PATH_MAX (4096 bytes with its NUL).
inline constexpr std::size_t kMaxForwardArguments = 65536;
inline constexpr std::size_t kMaxForwardArgumentBytes = 4095;
inline constexpr std::size_t kMaxForwardPayloadBytes = 16u << 20;
// The size field in front of the payload.
inline constexpr std::size_t kForwardHeaderBytes = 4;

// The whole message for the arguments; empty when they break a cap or an
// argument is not UTF-8 or holds a NUL (the caller fits its arguments
// first: FitForwardArguments).
std::optional<std::string> EncodeForwardMessage(const std::vector<std::string>& arguments);

// The arguments a sender can pass on, in order: an argument that is not
// UTF-8, holds a NUL or is longer than one argument may be is left out
// (it names no file the receiver could open); the list ends where the
// next argument would break the count or the payload cap.
std::vector<std::string> FitForwardArguments(const std::vector<std::string>& arguments);

enum class ForwardDecode
{
    Complete,   // arguments filled
    Incomplete, // more bytes are needed (a message cut short at its end)
    Malformed   // drop the message and the connection
};

// Reads the bytes received so far on one connection. Incomplete as long
// as the size field or the payload it announces has not fully arrived
// (Malformed at once when the announced size exceeds the cap).
ForwardDecode DecodeForwardMessage(std::string_view bytes, std::vector<std::string>& arguments);
