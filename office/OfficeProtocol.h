#pragma once
// The framing between the program and its Calc automation helper (velkarhub-calc-helper).
// Both directions carry messages; a message is a list of texts of any bytes (UTF-8 by
// convention, line breaks and zero bytes included). On the wire a message is the number
// of its texts, then each text as its length in bytes followed by those bytes; every
// number is a 32-bit unsigned integer, most significant byte first.
//
// Requests (program to helper), first text the request's name:
//   "visible" "1"|"0"          show or hide the application's document windows
//   "open" <path>              open the workbook at <path> as an untitled copy
//   "cell" <row> <column> <text>   set a cell of the active sheet to a text (rows and
//                              columns counted from 1)
//   "read" <row> <column>      (for tests) a cell's text and its content kind
//   "document"                 (for tests) the open document's location (empty while
//                              untitled), its modified flag and its window's visibility
// Replies (helper to program): "ok" followed by values, or "error" followed by a
// readable message. The helper's first message, before any request, tells whether the
// office was reached: "ok" <process group of the office it launched, or "0"> or
// "error" <message>. The helper ends at the end of its input; it never closes the office.
//
// Header only and free of Qt: the helper does not link to Qt.
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace OfficeProtocol {

using Message = std::vector<std::string>;

// Bounds that a well-formed message keeps; anything beyond them is a broken stream.
constexpr uint32_t MaxTexts = 16;
constexpr uint32_t MaxTextBytes = 64u * 1024u * 1024u;

// A stream that does not follow the framing.
class FramingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline void AppendNumber(std::string &out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFFu));
}

inline std::string Encode(const Message &message)
{
    if (message.size() > MaxTexts)
        throw FramingError("too many texts in one message");
    std::string out;
    AppendNumber(out, static_cast<uint32_t>(message.size()));
    for (const std::string &text : message) {
        if (text.size() > MaxTextBytes)
            throw FramingError("text too long for one message");
        AppendNumber(out, static_cast<uint32_t>(text.size()));
        out += text;
    }
    return out;
}

// Collects bytes as they arrive and gives back each complete message in order.
class Decoder {
public:
    void Feed(const char *data, size_t size) { buffer_.append(data, size); }
    void Feed(const std::string &data) { buffer_ += data; }

    // The next complete message, or nothing while it is incomplete. Throws FramingError
    // on a stream that breaks the bounds; the decoder is of no further use then.
    std::optional<Message> Next()
    {
        size_t pos = 0;
        uint32_t count = 0;
        if (!ReadNumber(pos, count))
            return std::nullopt;
        if (count > MaxTexts)
            throw FramingError("message announces too many texts");
        Message message;
        message.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t length = 0;
            if (!ReadNumber(pos, length))
                return std::nullopt;
            if (length > MaxTextBytes)
                throw FramingError("message announces a text too long");
            if (buffer_.size() - pos < length)
                return std::nullopt;
            message.emplace_back(buffer_, pos, length);
            pos += length;
        }
        buffer_.erase(0, pos);
        return message;
    }

    // Bytes received that do not yet form a whole message.
    size_t Pending() const { return buffer_.size(); }

private:
    bool ReadNumber(size_t &pos, uint32_t &value) const
    {
        if (buffer_.size() - pos < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | static_cast<unsigned char>(buffer_[pos + static_cast<size_t>(i)]);
        pos += 4;
        return true;
    }

    std::string buffer_;
};

} // namespace OfficeProtocol
