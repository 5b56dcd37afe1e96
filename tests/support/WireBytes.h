// Writes BML elements by hand, independently of the library's encoder, so
// that tests compare the library against bytes built from the wire format
// itself: tag (2), extension length (2), value length (4), value; all
// big-endian.
#ifndef KELM_TESTS_SUPPORT_WIREBYTES_H
#define KELM_TESTS_SUPPORT_WIREBYTES_H

#include <algorithm>
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

// Writes value big-endian into size bytes at out.
inline void StoreBE(uint8_t* out, uint64_t value, int size)
{
    for (int i = 0; i < size; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
}

// Sized up front and filled with std::copy: appending to a vector right after
// push_back trips a false stringop-overread warning of GCC 12 at -O3.
inline Bytes Element(uint16_t tag, const Bytes& value)
{
    Bytes out(8 + value.size());
    StoreBE(out.data(), tag, 2);
    StoreBE(out.data() + 4, value.size(), 4);
    std::copy(value.begin(), value.end(), out.begin() + 8);
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    std::size_t size = 0;
    for (const Bytes& part : parts)
        size += part.size();
    Bytes out(size);
    auto at = out.begin();
    for (const Bytes& part : parts)
        at = std::copy(part.begin(), part.end(), at);
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
    std::size_t size = 0;
    for (const Bytes& record : records)
        size += 4 + record.size();
    Bytes value(size);
    auto at = value.begin();
    for (const Bytes& record : records)
    {
        StoreBE(&*at, record.size(), 4);
        at = std::copy(record.begin(), record.end(), at + 4);
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
    Bytes out(4 + body.size());
    StoreBE(out.data(), body.size(), 4);
    std::copy(body.begin(), body.end(), out.begin() + 4);
    return out;
}

}  // namespace wire

#endif
