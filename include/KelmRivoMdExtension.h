// History queries and link figures of the kelmmduserapi_se library: an
// interface added beside CKelmRivoMdApi, whose fifteen slots stay as they are.
//
// Obtain it from an API object with CKelmRivoMdExtension::FromApi; it lives as
// long as that object, until its Dispose. Register a
// CKelmRivoMdExtensionCallback with SetCallbackObject, then ask:
//
//   QueryMinuteBars  minute bars of an instrument over a date-time range
//   QueryDayBars     day bars over a date range
//   QueryTrades      the trades of one day
//   GetLinkStats     the figures of the link to the server, from any thread
//   SetSpinning      (version 2) whether the network thread sleeps between
//                    packages or polls for them
//
// Queries return 0 when queued, -1 when the API object is not launched or
// has no connection, or the query record is null (nothing is sent then).
// Every record of the answer reaches the callback with the query's request
// id, on the library's network thread, in the order the server sent them;
// isLast is true on the last record of the whole answer, also when the
// server splits it over several packages. An answer without records (an
// empty range, or a refusal: RspNo not 0) arrives once, as a null record
// with its ResponseInfoRecord and isLast true. Nothing arrives after Dispose
// has returned.
//
// Dates in these records are YYYYMMDD and times HH:MM:SS, as in
// MarketDepthRecord. A query's dates may be given as YYYYMMDD (with
// " HH:MM:SS" or " HH:MM" after it in minute queries) or already in the
// server's form YYYY-MM-DD; an empty date leaves the range to the server.
//
// Binary-interface rules (this header is compiled into applications built
// with MinGW and with Microsoft's compiler): slots are only ever appended at
// the end of an interface and each addition raises KELM_MD_EXTENSION_VERSION;
// an application checks GetExtensionVersion() before calling a slot newer than
// version 1 (each slot below says the version that added it). No virtual destructors, no overloaded virtual names (Microsoft's
// compiler groups overloads in its slot table), no exceptions, no standard
// library types. Records have fixed-size fields, explicit padding and 8-byte
// members at offsets that are multiples of 8; their sizes and offsets are
// asserted below and never change.
#ifndef KELM_RIVO_MD_EXTENSION_H
#define KELM_RIVO_MD_EXTENSION_H

#include "KelmRivoMdApi.h"

#if defined(__GNUC__) || defined(__clang__)
#  define KELM_MD_OFFSET(record, field) __builtin_offsetof(record, field)
#else
#  include <stddef.h>
#  define KELM_MD_OFFSET(record, field) offsetof(record, field)
#endif

/// The interface version this header describes; the library's own is
/// CKelmRivoMdExtension::GetExtensionVersion().
#define KELM_MD_EXTENSION_VERSION 2

/// Which minute-data service of the server answers a minute query. The
/// server offers the same minute data under three service numbers, which
/// take the same query and answer alike; 150 is the usual one.
enum KelmMinuteService
{
    KelmMinuteServiceDefault = 0,  ///< the same as 150
    KelmMinuteService150 = 150,
    KelmMinuteService192 = 192,
    KelmMinuteService194 = 194
};

/// Query of minute bars (QueryMinuteBars).
struct MinuteBarQueryRecord
{
    char InstrumentID[16];   ///< at most 15 characters
    char ExchangeID[17];     ///< at most 16 characters; may be empty
    char DateTimeFrom[20];   ///< "YYYYMMDD HH:MM:SS" (or YYYY-MM-DD ...), first bar
    char DateTimeTo[20];     ///< last bar, inclusive
    char Padding1[3];
    int Service;             ///< a KelmMinuteService value; 0 = 150
};

/// Query of day bars (QueryDayBars).
struct DayBarQueryRecord
{
    char InstrumentID[16];
    char ExchangeID[17];
    char DateFrom[11];       ///< YYYYMMDD (or YYYY-MM-DD), first day
    char DateTo[11];         ///< last day, inclusive
    char Padding1[1];
};

/// Query of the trades of one day (QueryTrades).
struct TradeQueryRecord
{
    char InstrumentID[16];
    char ExchangeID[17];
    char TradeDate[11];      ///< YYYYMMDD (or YYYY-MM-DD); empty: the current trading day
};

/// One minute bar (NotifyMinuteBar).
struct MinuteBarRecord
{
    char InstrumentID[16];
    char ExchangeID[17];
    char Date[9];            ///< YYYYMMDD, from the server's "YYYY-MM-DD HH:MM:SS"
    char Time[9];            ///< HH:MM:SS, the minute the bar starts
    char Padding1[5];
    double OpenPrice;
    double HighestPrice;
    double LowestPrice;
    double ClosePrice;
    long long QtyTotal;      ///< quantity traded in the minute
    long long OI;            ///< open interest at the end of the minute
    double Amount;           ///< amount traded in the minute
};

/// One day bar (NotifyDayBar).
struct DayBarRecord
{
    char InstrumentID[16];
    char ExchangeID[17];
    char Date[9];            ///< YYYYMMDD
    char Padding1[6];
    double OpenPrice;
    double HighestPrice;
    double LowestPrice;
    double ClosePrice;
    long long QtyTotal;      ///< quantity traded in the day
    long long OI;            ///< open interest at the end of the day
    double Amount;           ///< amount traded in the day
};

/// One trade (NotifyTradeTick).
struct TradeTickRecord
{
    char MatchID[31];        ///< the server's trade number
    char InstrumentID[16];
    char Date[9];            ///< YYYYMMDD
    char Time[9];            ///< HH:MM:SS
    char BSFlag;             ///< 'B' buyer-initiated, 'S' seller-initiated, 0 unknown
    char Padding1[2];
    int Qty;
    double Price;
};

/// Figures of the link to the quote server since the API object was created
/// (GetLinkStats). Counters only grow.
struct LinkStatsRecord
{
    long long QuotesReceived;     ///< quote packages
    long long PackagesReceived;   ///< every package: quotes, answers, heartbeats
    long long BytesReceived;      ///< every byte read from the server, length prefixes included
    long long ConnectionsMade;    ///< connections established
    long long LinksLost;          ///< established connections lost (NotifyDisconnected)
    long long HeartbeatsSent;     ///< heartbeat packages sent after a quiet interval
    long long LastReceiveTime;    ///< microseconds since 1970-01-01 UTC of the last byte; 0: none yet
    long long LastReceiveAge;     ///< microseconds from the last byte to this call; -1: none yet
    int Connected;                ///< 1 while a connection is established
    char Padding1[4];
    char ServerAddress[136];      ///< "host:port" of the established connection; empty when none
    long long Reserved[6];        ///< zero
};

static_assert(sizeof(MinuteBarQueryRecord) == 80, "MinuteBarQueryRecord layout");
static_assert(KELM_MD_OFFSET(MinuteBarQueryRecord, DateTimeFrom) == 33, "MinuteBarQueryRecord layout");
static_assert(KELM_MD_OFFSET(MinuteBarQueryRecord, Service) == 76, "MinuteBarQueryRecord layout");
static_assert(sizeof(DayBarQueryRecord) == 56, "DayBarQueryRecord layout");
static_assert(KELM_MD_OFFSET(DayBarQueryRecord, DateTo) == 44, "DayBarQueryRecord layout");
static_assert(sizeof(TradeQueryRecord) == 44, "TradeQueryRecord layout");
static_assert(KELM_MD_OFFSET(TradeQueryRecord, TradeDate) == 33, "TradeQueryRecord layout");
static_assert(sizeof(MinuteBarRecord) == 112, "MinuteBarRecord layout");
static_assert(KELM_MD_OFFSET(MinuteBarRecord, Time) == 42, "MinuteBarRecord layout");
static_assert(KELM_MD_OFFSET(MinuteBarRecord, OpenPrice) == 56, "MinuteBarRecord layout");
static_assert(KELM_MD_OFFSET(MinuteBarRecord, QtyTotal) == 88, "MinuteBarRecord layout");
static_assert(KELM_MD_OFFSET(MinuteBarRecord, Amount) == 104, "MinuteBarRecord layout");
static_assert(sizeof(DayBarRecord) == 104, "DayBarRecord layout");
static_assert(KELM_MD_OFFSET(DayBarRecord, OpenPrice) == 48, "DayBarRecord layout");
static_assert(KELM_MD_OFFSET(DayBarRecord, Amount) == 96, "DayBarRecord layout");
static_assert(sizeof(TradeTickRecord) == 80, "TradeTickRecord layout");
static_assert(KELM_MD_OFFSET(TradeTickRecord, BSFlag) == 65, "TradeTickRecord layout");
static_assert(KELM_MD_OFFSET(TradeTickRecord, Qty) == 68, "TradeTickRecord layout");
static_assert(KELM_MD_OFFSET(TradeTickRecord, Price) == 72, "TradeTickRecord layout");
static_assert(sizeof(LinkStatsRecord) == 256, "LinkStatsRecord layout");
static_assert(KELM_MD_OFFSET(LinkStatsRecord, Connected) == 64, "LinkStatsRecord layout");
static_assert(KELM_MD_OFFSET(LinkStatsRecord, ServerAddress) == 72, "LinkStatsRecord layout");
static_assert(KELM_MD_OFFSET(LinkStatsRecord, Reserved) == 208, "LinkStatsRecord layout");

/// Implemented by the application; set with
/// CKelmRivoMdExtension::SetCallbackObject. Every notification runs on the
/// library's network thread; records are temporaries valid during the call.
/// info is null only when the server's answer carried no result part.
class CKelmRivoMdExtensionCallback
{
public:
    virtual void NotifyMinuteBar(const MinuteBarRecord* bar, const ResponseInfoRecord* info,
                                 int requestId, bool isLast)                          // slot 0
    { (void)bar; (void)info; (void)requestId; (void)isLast; }
    virtual void NotifyDayBar(const DayBarRecord* bar, const ResponseInfoRecord* info,
                              int requestId, bool isLast)                             // slot 1
    { (void)bar; (void)info; (void)requestId; (void)isLast; }
    virtual void NotifyTradeTick(const TradeTickRecord* trade, const ResponseInfoRecord* info,
                                 int requestId, bool isLast)                          // slot 2
    { (void)trade; (void)info; (void)requestId; (void)isLast; }

protected:
    // Not virtual: the library never deletes the application's object.
    ~CKelmRivoMdExtensionCallback() {}
};

/// The history and figures interface of one API object.
class CKelmRivoMdExtension
{
public:
    /// The interface of an API object from CKelmRivoMdApi::CreateRivoMdApi,
    /// valid until that object's Dispose; null for a null pointer or an
    /// object this library did not create.
    KELM_MDAPI_EXPORT static CKelmRivoMdExtension* FromApi(CKelmRivoMdApi* api);
    /// The interface version the library implements (2 here): slots added in
    /// a later version may be called only when this is at least that version.
    KELM_MDAPI_EXPORT static int GetExtensionVersion();

    /// Where answers go (null switches them off). Dispose clears it too.
    virtual void SetCallbackObject(CKelmRivoMdExtensionCallback* callback) = 0;         // slot 0
    /// Minute bars; Service chooses among the three minute-data services.
    /// Returns -3 for a Service that is none of them.
    virtual int QueryMinuteBars(const MinuteBarQueryRecord* query, int requestId) = 0;  // slot 1
    virtual int QueryDayBars(const DayBarQueryRecord* query, int requestId) = 0;        // slot 2
    virtual int QueryTrades(const TradeQueryRecord* query, int requestId) = 0;          // slot 3
    /// Fills the record; 0, or -1 for a null record. Lock-free: any thread,
    /// any time, also from inside a notification.
    virtual int GetLinkStats(LinkStatsRecord* stats) = 0;                               // slot 4

    /// Version 2. How the library's network thread waits for the server:
    ///    0  it sleeps until something arrives (the default);
    ///    n  (n > 0) after each event it polls for n microseconds, then
    ///       sleeps until the next;
    ///   -1  it polls without end.
    /// Polling hands a quote to NotifyQuote as soon as it arrives, without
    /// the time the system takes to wake a sleeping thread, and keeps one
    /// core busy while it polls. Nothing else changes: the same
    /// notifications in the same order on the same thread, the same
    /// heartbeat and timeouts. Any thread, any time, before or after Launch;
    /// it takes effect at once. Returns 0; -1 for a value below -1; -3 when
    /// this API object cannot poll (none that CreateRivoMdApi makes: every
    /// platform the library is built for polls, Windows included).
    virtual int SetSpinning(int microseconds) = 0;                                      // slot 5

protected:
    // Not virtual: the object belongs to its API object.
    ~CKelmRivoMdExtension() {}
};

#endif
