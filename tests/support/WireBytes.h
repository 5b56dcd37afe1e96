// Writes BML elements by hand, independently of the library's encoder, so
// that tests compare the library against bytes built from the wire format
// itself: tag (2), extension length (2), value length (4), value; all
// big-endian.
#ifndef KELM_TESTS_SUPPORT_WIREBYTES_H
#define KELM_TESTS_SUPPORT_WIREBYTES_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace wire
{

using Bytes = std::vector<uint8_t>;

inline void PutBE(Bytes& out, uint64_t value, int size)
{
    for (int i = size - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline Bytes Element(uint16_t tag, const Bytes& value)
{
    Bytes out;
    PutBE(out, tag, 2);
    PutBE(out, 0, 2);
    PutBE(out, value.size(), 4);
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes Record(uint16_t tag, std::initializer_list<Bytes> members)
{
    return Element(tag, Concat(members));
}

inline Bytes Text(uint16_t tag, const std::string& text)
{
    return Element(tag, Bytes(text.begin(), text.end()));
}

inline Bytes Int16(uint16_t tag, uint16_t value)
{
    Bytes v;
    PutBE(v, value, 2);
    return Element(tag, v);
}

inline Bytes Int32(uint16_t tag, uint32_t value)
{
    Bytes v;
    PutBE(v, value, 4);
    return Element(tag, v);
}

inline Bytes Int64(uint16_t tag, uint64_t value)
{
    Bytes v;
    PutBE(v, value, 8);
    return Element(tag, v);
}

inline Bytes Double(uint16_t tag, double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return Int64(tag, bits);
}

// A list value: each record is a 4-byte length and its member elements.
inline Bytes List(uint16_t tag, std::initializer_list<Bytes> records)
{
    Bytes value;
    for (const Bytes& record : records)
    {
        PutBE(value, record.size(), 4);
        value.insert(value.end(), record.begin(), record.end());
    }
    return Element(tag, value);
}

// A message body: ApiHead {ServiceNo, RequestID, EndFlag} then ApiBody.
inline Bytes Body(uint16_t service, uint32_t requestId, uint32_t endFlag,
                  std::initializer_list<Bytes> bodyMembers)
{
    return Concat({Record(1009, {Int16(1008, service), Int32(1003, requestId),
                                 Int32(1004, endFlag)}),
                   Record(1010, bodyMembers)});
}

// The 4-byte big-endian length prefix and the body.
inline Bytes Frame(const Bytes& body)
{
    Bytes out;
    PutBE(out, body.size(), 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace wire

#endif
