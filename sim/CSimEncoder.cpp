#include "sim/CSimEncoder.h"

#include "bml/BMLDictionary.h"
#include "sim/CSimFieldMaps.h"
#include "sim/SimService.h"

namespace
{

// Records are copied before binding: a field map writes through non-const
// storage pointers even when it only reads.
template <typename Record>
bool AddRecord(CSimPackageWriter& writer, uint16_t tag, Record record)
{
    auto bindings = CSimFieldMaps::Bind(record);
    return writer.AddRecord(tag, SimMap(bindings));
}

template <typename Record>
SimFrame SingleAnswer(uint16_t service, int32_t requestId, int32_t endFlag, const RspInfo* info, uint16_t tag,
                      const Record* record)
{
    CSimPackageWriter writer(service, requestId, endFlag);
    if (info != nullptr)
        AddRecord(writer, BMLTag::RspInfo, *info);
    if (record != nullptr)
        AddRecord(writer, tag, *record);
    return writer.Frame();
}

template <typename Record>
std::vector<SimFrame> ListAnswer(uint16_t service, int32_t requestId, const RspInfo* info, uint16_t listTag,
                                 const std::vector<Record>& records)
{
    // Each package is first built with EndFlag 1; the last one is rebuilt
    // with 0 once it is known to be the last. Rebuilding keeps the writer
    // free of any patching of bytes already written.
    std::vector<SimFrame> frames;
    std::size_t next = 0;
    do
    {
        const std::size_t first = next;
        auto fill = [&](CSimPackageWriter& writer) {
            if (info != nullptr)
                AddRecord(writer, BMLTag::RspInfo, *info);
            writer.BeginList(listTag);
            std::size_t index = first;
            while (index < records.size())
            {
                Record record = records[index];
                auto bindings = CSimFieldMaps::Bind(record);
                if (!writer.AddListRecord(SimMap(bindings)))
                    break;
                ++index;
            }
            return index;
        };
        CSimPackageWriter writer(service, requestId, 1);
        next = fill(writer);
        if (next == first && next < records.size())
            break;  // a record larger than a whole package cannot be sent
        if (next < records.size())
        {
            frames.push_back(writer.Frame());
            continue;
        }
        CSimPackageWriter last(service, requestId, 0);
        fill(last);
        frames.push_back(last.Frame());
    } while (next < records.size());
    return frames;
}

}  // namespace

SimFrame CSimEncoder::Heartbeat()
{
    return EmptyPackage(SimService::Heartbeat, 0, 0);
}

SimFrame CSimEncoder::EmptyPackage(uint16_t serviceNo, int32_t requestId, int32_t endFlag)
{
    CSimPackageWriter writer(serviceNo, requestId, endFlag);
    return writer.Frame();
}

SimFrame CSimEncoder::LoginAnswer(int32_t requestId, const RspInfo* info, const LoginRsp* record, int32_t endFlag)
{
    return SingleAnswer(SimService::LoginAnswer, requestId, endFlag, info, BMLTag::LoginRsp, record);
}

SimFrame CSimEncoder::LogoutAnswer(int32_t requestId, const RspInfo* info, const LogoutRsp* record, int32_t endFlag)
{
    return SingleAnswer(SimService::LogoutAnswer, requestId, endFlag, info, BMLTag::LogoutRsp, record);
}

SimFrame CSimEncoder::SubscribeAnswer(int32_t requestId, const RspInfo* info, const QuotSubscribeRsp* record,
                                      int32_t endFlag)
{
    return SingleAnswer(SimService::SubscribeAnswer, requestId, endFlag, info, BMLTag::QuotSubscribeRsp, record);
}

SimFrame CSimEncoder::UnsubscribeAnswer(int32_t requestId, const RspInfo* info, const QuotUnSubscribeRsp* record,
                                        int32_t endFlag)
{
    return SingleAnswer(SimService::UnsubscribeAnswer, requestId, endFlag, info, BMLTag::QuotUnSubscribeRsp,
                        record);
}

SimFrame CSimEncoder::Quote(const QuotRecord& quote)
{
    CSimPackageWriter writer(SimService::Quote, 0, 0);
    AddRecord(writer, BMLTag::Quot, quote);
    return writer.Frame();
}

std::vector<SimFrame> CSimEncoder::MinDataAnswer(uint16_t service, int32_t requestId, const RspInfo* info,
                                                 const std::vector<MinData>& records)
{
    return ListAnswer(service, requestId, info, BMLTag::MinDataList, records);
}

std::vector<SimFrame> CSimEncoder::DayDataAnswer(int32_t requestId, const RspInfo* info,
                                                 const std::vector<DayData>& records)
{
    return ListAnswer(SimService::DayDataAnswer, requestId, info, BMLTag::DayDataList, records);
}

std::vector<SimFrame> CSimEncoder::TradeDetailAnswer(int32_t requestId, const RspInfo* info,
                                                     const std::vector<TradeDetailRecord>& records)
{
    return ListAnswer(SimService::TradeDetailAnswer, requestId, info, BMLTag::TradeDetailDataList, records);
}
