// The public records and interfaces are a binary interface with separately
// compiled applications: sizes, offsets and virtual slots must not move.
#include <KelmRivoMdApi.h>
#include <KelmRivoMdExtension.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace
{

// On the Itanium C++ ABI a pointer to a virtual member function holds
// 1 + the byte offset of its slot in the vtable.
template <class Pmf>
long SlotOf(Pmf pmf)
{
    static_assert(sizeof(Pmf) == 2 * sizeof(long), "Itanium member-function pointer");
    long raw[2];
    std::memcpy(raw, &pmf, sizeof raw);
    EXPECT_EQ(raw[0] % static_cast<long>(sizeof(void*)), 1) << "not a virtual function";
    return (raw[0] - 1) / static_cast<long>(sizeof(void*));
}

}  // namespace

TEST(RecordLayout, SizesAreFixed)
{
    EXPECT_EQ(sizeof(ResponseInfoRecord), 88u);
    EXPECT_EQ(sizeof(LoginResultRecord), 204u);
    EXPECT_EQ(sizeof(LogoutResultRecord), 27u);
    EXPECT_EQ(sizeof(InstrumentSpecRecord), 112u);
    EXPECT_EQ(sizeof(MarketDepthRecord), 584u);
    EXPECT_EQ(alignof(MarketDepthRecord), 8u);
}

TEST(RecordLayout, ResponseAndLoginOffsets)
{
    EXPECT_EQ(offsetof(ResponseInfoRecord, RspNo), 0u);
    EXPECT_EQ(offsetof(ResponseInfoRecord, RspDesc), 4u);

    EXPECT_EQ(offsetof(LoginResultRecord, TradeDate), 0u);
    EXPECT_EQ(offsetof(LoginResultRecord, LoginTime), 9u);
    EXPECT_EQ(offsetof(LoginResultRecord, BrokerCode), 18u);
    EXPECT_EQ(offsetof(LoginResultRecord, UserCode), 29u);
    EXPECT_EQ(offsetof(LoginResultRecord, SysName), 45u);
    EXPECT_EQ(offsetof(LoginResultRecord, SessionIDHigh), 88u);
    EXPECT_EQ(offsetof(LoginResultRecord, SessionIDLow), 92u);
    EXPECT_EQ(offsetof(LoginResultRecord, StartReference), 96u);
    EXPECT_EQ(offsetof(LoginResultRecord, LoginTimeCopy1), 109u);
    EXPECT_EQ(offsetof(LoginResultRecord, LoginTimeCopy5), 145u);
    EXPECT_EQ(offsetof(LoginResultRecord, Reserved1), 154u);

    EXPECT_EQ(offsetof(LogoutResultRecord, UserCode), 11u);
    EXPECT_EQ(offsetof(InstrumentSpecRecord, InstrumentID), 31u);
}

TEST(RecordLayout, MarketDepthOffsets)
{
    struct Expected
    {
        std::size_t actual;
        std::size_t offset;
        const char* name;
    };
#define KELM_FIELD(name, offset) {offsetof(MarketDepthRecord, name), offset, #name}
    const Expected fields[] = {
        KELM_FIELD(TradeDate, 0),       KELM_FIELD(Reserved1, 9),      KELM_FIELD(ExchangeID, 40),
        KELM_FIELD(Reserved2, 49),      KELM_FIELD(Price, 80),         KELM_FIELD(PreSettle, 88),
        KELM_FIELD(PreClose, 96),       KELM_FIELD(PreOI, 104),        KELM_FIELD(OpenPrice, 112),
        KELM_FIELD(HighestPrice, 120),  KELM_FIELD(LowestPrice, 128),  KELM_FIELD(QtyTotal, 136),
        KELM_FIELD(Amount, 144),        KELM_FIELD(OI, 152),           KELM_FIELD(CurrentPrice, 160),
        KELM_FIELD(SettlePrice, 168),   KELM_FIELD(HighLimit, 176),    KELM_FIELD(LowLimit, 184),
        KELM_FIELD(Reserved3, 192),     KELM_FIELD(Reserved4, 200),    KELM_FIELD(ModifyTime, 208),
        KELM_FIELD(Reserved5, 220),     KELM_FIELD(BidPrice1, 224),    KELM_FIELD(BidQty1, 232),
        KELM_FIELD(AskPrice1, 240),     KELM_FIELD(AskQty1, 248),      KELM_FIELD(BidPrice2, 256),
        KELM_FIELD(BidQty2, 264),       KELM_FIELD(AskPrice2, 272),    KELM_FIELD(AskQty2, 280),
        KELM_FIELD(BidPrice3, 288),     KELM_FIELD(AskQty3, 312),      KELM_FIELD(BidPrice4, 320),
        KELM_FIELD(AskQty4, 344),       KELM_FIELD(BidPrice5, 352),    KELM_FIELD(BidQty5, 360),
        KELM_FIELD(AskPrice5, 368),     KELM_FIELD(AskQty5, 376),      KELM_FIELD(Reserved6, 384),
        KELM_FIELD(ModifyDate, 392),    KELM_FIELD(InstrumentID, 401), KELM_FIELD(Reserved7, 482),
    };
#undef KELM_FIELD
    for (const Expected& field : fields)
        EXPECT_EQ(field.actual, field.offset) << field.name;
}

TEST(InterfaceLayout, ApiSlots)
{
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::Dispose), 0);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::Launch), 1);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::Idle), 2);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::GetTradeDate), 3);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::AddServerUrl), 4);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::ReservedSetting1), 5);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::ReservedSetting2), 6);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::SetCallbackObject), 7);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::SubscribeQuotes), 8);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::UnsubscribeQuotes), 9);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::ReservedRequest1), 10);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::ReservedRequest2), 11);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::SubmitLogin), 12);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::SubmitLogout), 13);
    EXPECT_EQ(SlotOf(&CKelmRivoMdApi::ReservedRequest3), 14);
}

TEST(InterfaceLayout, CallbackSlots)
{
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::NotifyConnected), 0);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::NotifyDisconnected), 1);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::ReservedNotify2), 2);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::NotifyLoginResult), 3);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::NotifyLogoutResult), 4);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::ReservedNotify5), 5);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::ReservedNotify6), 6);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::NotifySubscribeResult), 7);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::NotifyUnsubscribeResult), 8);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::ReservedNotify9), 9);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::ReservedNotify10), 10);
    EXPECT_EQ(SlotOf(&CKelmRivoMdCallback::NotifyQuote), 11);
}

// The extension's slots and records: what its header asserts, seen from a
// build against the installed header, plus the offsets the header leaves out.
TEST(InterfaceLayout, ExtensionSlots)
{
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtension::SetCallbackObject), 0);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtension::QueryMinuteBars), 1);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtension::QueryDayBars), 2);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtension::QueryTrades), 3);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtension::GetLinkStats), 4);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtension::SetSpinning), 5);
    EXPECT_EQ(KELM_MD_EXTENSION_VERSION, 2);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtensionCallback::NotifyMinuteBar), 0);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtensionCallback::NotifyDayBar), 1);
    EXPECT_EQ(SlotOf(&CKelmRivoMdExtensionCallback::NotifyTradeTick), 2);
}

TEST(RecordLayout, ExtensionRecords)
{
    struct Expected
    {
        std::size_t actual;
        std::size_t offset;
        const char* name;
    };
#define KELM_FIELD(record, name, offset) {offsetof(record, name), offset, #record "." #name}
    const Expected fields[] = {
        KELM_FIELD(MinuteBarQueryRecord, ExchangeID, 16),  KELM_FIELD(MinuteBarQueryRecord, DateTimeTo, 53),
        KELM_FIELD(MinuteBarQueryRecord, Service, 76),     KELM_FIELD(DayBarQueryRecord, DateFrom, 33),
        KELM_FIELD(DayBarQueryRecord, DateTo, 44),         KELM_FIELD(TradeQueryRecord, TradeDate, 33),
        KELM_FIELD(MinuteBarRecord, ExchangeID, 16),       KELM_FIELD(MinuteBarRecord, Date, 33),
        KELM_FIELD(MinuteBarRecord, Time, 42),             KELM_FIELD(MinuteBarRecord, OpenPrice, 56),
        KELM_FIELD(MinuteBarRecord, ClosePrice, 80),       KELM_FIELD(MinuteBarRecord, QtyTotal, 88),
        KELM_FIELD(MinuteBarRecord, OI, 96),               KELM_FIELD(MinuteBarRecord, Amount, 104),
        KELM_FIELD(DayBarRecord, Date, 33),                KELM_FIELD(DayBarRecord, OpenPrice, 48),
        KELM_FIELD(DayBarRecord, QtyTotal, 80),            KELM_FIELD(DayBarRecord, OI, 88),
        KELM_FIELD(DayBarRecord, Amount, 96),              KELM_FIELD(TradeTickRecord, InstrumentID, 31),
        KELM_FIELD(TradeTickRecord, Date, 47),             KELM_FIELD(TradeTickRecord, Time, 56),
        KELM_FIELD(TradeTickRecord, BSFlag, 65),           KELM_FIELD(TradeTickRecord, Qty, 68),
        KELM_FIELD(TradeTickRecord, Price, 72),            KELM_FIELD(LinkStatsRecord, BytesReceived, 16),
        KELM_FIELD(LinkStatsRecord, HeartbeatsSent, 40),   KELM_FIELD(LinkStatsRecord, LastReceiveTime, 48),
        KELM_FIELD(LinkStatsRecord, LastReceiveAge, 56),   KELM_FIELD(LinkStatsRecord, Connected, 64),
        KELM_FIELD(LinkStatsRecord, ServerAddress, 72),    KELM_FIELD(LinkStatsRecord, Reserved, 208),
    };
#undef KELM_FIELD
    for (const Expected& field : fields)
        EXPECT_EQ(field.actual, field.offset) << field.name;
    EXPECT_EQ(sizeof(MinuteBarQueryRecord), 80u);
    EXPECT_EQ(sizeof(DayBarQueryRecord), 56u);
    EXPECT_EQ(sizeof(TradeQueryRecord), 44u);
    EXPECT_EQ(sizeof(MinuteBarRecord), 112u);
    EXPECT_EQ(sizeof(DayBarRecord), 104u);
    EXPECT_EQ(sizeof(TradeTickRecord), 80u);
    EXPECT_EQ(sizeof(LinkStatsRecord), 256u);
}
