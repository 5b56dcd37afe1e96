// The codec: arbitrary record bodies through Unpack with the quote, answer and
// request field maps, and arbitrary list values through the record-set walk.
//
// Input: byte 0 picks the record type, byte 1 bit 0 the mode (record body or
// list value); the rest is the body or the list. A Quot record body also goes
// through the quote decoder, whose record must be the general codec's, byte
// for byte.
#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLRecordSet.h"
#include "quote/CQuotDecoder.h"
#include "sim/CSimFieldMaps.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

namespace
{

// Reads the whole record so the sanitizers see any write that went astray.
template <class Record>
void Touch(const Record& record)
{
    volatile uint8_t sink = 0;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
    for (std::size_t i = 0; i < sizeof record; ++i)
        sink = sink ^ bytes[i];
}

// The body as the value of a Quot element in a service-125 package, through
// the quote decoder; aborts when its record differs from the general one.
void CompareWithQuoteDecoder(const std::vector<uint8_t>& body, const QuotRecord& general)
{
    std::vector<uint8_t> buffer(CAPIPackage::MaxBodyLength);
    CAPIPackage written;
    written.BeginRequest(125, 0, buffer.data());
    CBMLPackage quot;
    if (written.AddPackage(BMLTag::Quot, &quot) != 0 ||
        (!body.empty() && quot.AppendBytes(body.data(), static_cast<uint32_t>(body.size())) < 0))
        return;  // too long for one package
    CAPIPackage received;
    received.AttachReceived(written.GetBuffer(), written.GetLength());
    CQuotDecoder decoder;
    if (std::memcmp(&decoder.Decode(received), &general, sizeof general) != 0)
        std::abort();
}

template <class Record>
void UnpackBody(const std::vector<uint8_t>& body)
{
    Record record;
    std::memset(&record, 0, sizeof record);
    const auto bindings = CSimFieldMaps::Bind(record);
    SimMap(bindings).Unpack(body.data(), static_cast<uint32_t>(body.size()));
    Touch(record);
    if constexpr (std::is_same<Record, QuotRecord>::value)
        CompareWithQuoteDecoder(body, record);
}

template <class Record>
void WalkList(std::vector<uint8_t>& list)
{
    Record record;
    std::memset(&record, 0, sizeof record);
    const auto bindings = CSimFieldMaps::Bind(record);
    const CBMLFieldMap map = SimMap(bindings);
    CBMLRecordSet set;
    set.Attach(list.data(), 0, static_cast<uint32_t>(list.size()), nullptr);
    const uint32_t counted = set.CountRecords();
    uint32_t walked = 0;
    while (set.NextRecord())
    {
        // The record's window must lie inside the list.
        const uint8_t* end = set.GetBuffer() + set.GetNextOffset();
        if (set.GetData() < list.data() || end > list.data() + list.size() || set.GetData() > end)
            std::abort();
        map.Unpack(set.GetData(), static_cast<uint32_t>(end - set.GetData()));
        Touch(record);
        ++walked;
    }
    if (walked != counted)
        std::abort();
}

template <class Record>
void Run(bool list, std::vector<uint8_t>& bytes)
{
    if (list)
        WalkList<Record>(bytes);
    else
        UnpackBody<Record>(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const bool list = (data[1] & 1) != 0;
    // A copy of exactly the input's size, so any over-read is caught.
    std::vector<uint8_t> bytes(data + 2, data + size);
    switch (data[0] % 15)
    {
    case 0: Run<QuotRecord>(list, bytes); break;
    case 1: Run<RspInfo>(list, bytes); break;
    case 2: Run<LoginRsp>(list, bytes); break;
    case 3: Run<LogoutRsp>(list, bytes); break;
    case 4: Run<QuotSubscribeRsp>(list, bytes); break;
    case 5: Run<QuotUnSubscribeRsp>(list, bytes); break;
    case 6: Run<MinData>(list, bytes); break;
    case 7: Run<DayData>(list, bytes); break;
    case 8: Run<TradeDetailRecord>(list, bytes); break;
    case 9: Run<LoginReq>(list, bytes); break;
    case 10: Run<LogoutReq>(list, bytes); break;
    case 11: Run<QuotSubscribeReq>(list, bytes); break;
    case 12: Run<MinDataQueryReq>(list, bytes); break;
    case 13: Run<DayDataQueryReq>(list, bytes); break;
    default: Run<TradeDetailDataQueryReq>(list, bytes); break;
    }
    return 0;
}
