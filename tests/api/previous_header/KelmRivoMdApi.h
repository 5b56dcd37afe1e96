// Public interface of the kelmmduserapi_se market-data library.
//
// An application obtains one API object from CKelmRivoMdApi::CreateRivoMdApi,
// registers its CKelmRivoMdCallback object and the quote-server addresses,
// calls Launch, logs in and subscribes; quotes and results then arrive on the
// callback object, on the library's network thread. Dispose releases the object.
//
// The records below are a binary interface: field order, widths and padding
// are fixed (natural alignment: int32 on 4, double on 8). Texts are single-byte,
// NUL-terminated, NUL-padded character arrays.
#ifndef KELM_RIVO_MD_API_H
#define KELM_RIVO_MD_API_H

// The library was designed as a Windows DLL exporting this class with
// __declspec(dllexport/dllimport); on ELF the same is an explicit default
// visibility, the rest of the library being hidden.
#if defined(_WIN32)
#  if defined(KELM_MDAPI_BUILDING)
#    define KELM_MDAPI_EXPORT __declspec(dllexport)
#  else
#    define KELM_MDAPI_EXPORT __declspec(dllimport)
#  endif
#else
#  define KELM_MDAPI_EXPORT __attribute__((visibility("default")))
#endif

/// Login request (SubmitLogin). Only BrokerCode, UserCode and Password are read.
struct LoginRequestRecord
{
    char Reserved1[9];
    char BrokerCode[11];   ///< at most 10 characters used
    char UserCode[16];     ///< at most 15 characters used
    char Password[41];     ///< at most the first 20 characters used
};

/// Logout request (SubmitLogout). The library does not read it: the logout is
/// always sent for the user of the last SubmitLogin.
struct LogoutRequestRecord
{
    char BrokerCode[11];
    char UserCode[16];
};

/// Server result attached to every response notification. RspNo 0 = success.
struct ResponseInfoRecord
{
    int  RspNo;            ///< the server's 16-bit code taken as unsigned (0..65535)
    char RspDesc[81];      ///< first 80 characters of the server's text
};

/// Result of a login (NotifyLoginResult).
struct LoginResultRecord
{
    char TradeDate[9];     ///< trading day YYYYMMDD
    char LoginTime[9];     ///< local time the response was handled, HH:MM:SS
    char BrokerCode[11];   ///< broker code of the last login request
    char UserCode[16];     ///< user code of the last login request
    char SysName[41];      ///< server's system name, first 40 characters
    int  SessionIDHigh;    ///< high 32 bits of the server's 64-bit session id
    int  SessionIDLow;     ///< low 32 bits of the server's session id
    char StartReference[13];  ///< always "1"
    char LoginTimeCopy1[9];
    char LoginTimeCopy2[9];
    char LoginTimeCopy3[9];
    char LoginTimeCopy4[9];
    char LoginTimeCopy5[9];
    char Reserved1[50];
};

/// Result of a logout (NotifyLogoutResult).
struct LogoutResultRecord
{
    char BrokerCode[11];   ///< always empty
    char UserCode[16];     ///< user code of the last login request
};

/// Instrument of a subscribe or unsubscribe result.
struct InstrumentSpecRecord
{
    char Reserved1[31];
    char InstrumentID[81];
};

/// One depth-market-data snapshot of one instrument (NotifyQuote).
struct MarketDepthRecord
{
    char   TradeDate[9];       ///< trading day YYYYMMDD
    char   Reserved1[31];
    char   ExchangeID[9];      ///< exchange code, first 8 characters
    char   Reserved2[31];
    double Price;              ///< latest price
    double PreSettle;
    double PreClose;
    double PreOI;
    double OpenPrice;
    double HighestPrice;
    double LowestPrice;
    int    QtyTotal;           ///< total traded quantity (low 32 bits)
    double Amount;
    double OI;
    double CurrentPrice;       ///< the latest price again
    double SettlePrice;
    double HighLimit;
    double LowLimit;
    double Reserved3;
    double Reserved4;
    char   ModifyTime[9];      ///< HH:MM:SS
    int    Reserved5;
    double BidPrice1;
    int    BidQty1;
    double AskPrice1;
    int    AskQty1;
    double BidPrice2;
    int    BidQty2;
    double AskPrice2;
    int    AskQty2;
    double BidPrice3;
    int    BidQty3;
    double AskPrice3;
    int    AskQty3;
    double BidPrice4;
    int    BidQty4;
    double AskPrice4;
    int    AskQty4;
    double BidPrice5;
    int    BidQty5;
    double AskPrice5;
    int    AskQty5;
    double Reserved6;
    char   ModifyDate[9];      ///< YYYYMMDD
    char   InstrumentID[81];
    char   Reserved7[102];
};

static_assert(sizeof(ResponseInfoRecord) == 88, "ResponseInfoRecord layout");
static_assert(sizeof(LoginResultRecord) == 204, "LoginResultRecord layout");
static_assert(sizeof(LogoutResultRecord) == 27, "LogoutResultRecord layout");
static_assert(sizeof(InstrumentSpecRecord) == 112, "InstrumentSpecRecord layout");
static_assert(sizeof(MarketDepthRecord) == 584, "MarketDepthRecord layout");

/// Implemented by the application. Every notification runs on the library's
/// network thread, one at a time, in the order the server's packages arrive.
/// Records passed in are temporaries valid only during the call.
class CKelmRivoMdCallback
{
public:
    virtual void NotifyConnected() {}
    /// The connection was lost; the library reconnects by itself. reason is 0.
    virtual void NotifyDisconnected(int reason) { (void)reason; }
    virtual void ReservedNotify2() {}
    virtual void NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info,
                                   int requestId, bool isLast)
    { (void)result; (void)info; (void)requestId; (void)isLast; }
    virtual void NotifyLogoutResult(LogoutResultRecord* result, ResponseInfoRecord* info,
                                    int requestId, bool isLast)
    { (void)result; (void)info; (void)requestId; (void)isLast; }
    virtual void ReservedNotify5() {}
    virtual void ReservedNotify6() {}
    virtual void NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info,
                                       int requestId, bool isLast)
    { (void)instrument; (void)info; (void)requestId; (void)isLast; }
    virtual void NotifyUnsubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info,
                                         int requestId, bool isLast)
    { (void)instrument; (void)info; (void)requestId; (void)isLast; }
    virtual void ReservedNotify9() {}
    virtual void ReservedNotify10() {}
    virtual void NotifyQuote(MarketDepthRecord* quote) { (void)quote; }

    // Declared after the notifications so that their slots stay 0 to 11. The
    // library never deletes the object; the application owns it.
    virtual ~CKelmRivoMdCallback() = default;
};

/// The API object. Obtain it with CreateRivoMdApi, release it with Dispose.
/// Request results: 0 queued, -1 not started or not connected, -3 not supported.
class KELM_MDAPI_EXPORT CKelmRivoMdApi
{
public:
    /// The three arguments are reserved: accepted and ignored, they select
    /// nothing. Never returns null.
    static CKelmRivoMdApi* CreateRivoMdApi(const char* reserved1 = "", bool reserved2 = false,
                                           bool reserved3 = false);
    /// "V6_6_9"
    static const char* GetApiVersion();

    CKelmRivoMdApi();
    CKelmRivoMdApi(const CKelmRivoMdApi& other);
    CKelmRivoMdApi& operator=(const CKelmRivoMdApi& other);

    virtual void Dispose() = 0;                                   // slot 0
    virtual void Launch() = 0;                                    // slot 1
    virtual int Idle() = 0;                                       // slot 2
    virtual const char* GetTradeDate() = 0;                       // slot 3
    /// "tcp://host:port": the first six characters are dropped.
    virtual void AddServerUrl(const char* address) = 0;           // slot 4
    virtual void ReservedSetting1(void* reserved) = 0;            // slot 5
    virtual void ReservedSetting2(void* reserved) = 0;            // slot 6
    virtual void SetCallbackObject(CKelmRivoMdCallback* callback) = 0;  // slot 7
    virtual int SubscribeQuotes(char* codes[], int count) = 0;    // slot 8
    virtual int UnsubscribeQuotes(char* codes[], int count) = 0;  // slot 9
    virtual int ReservedRequest1(int reserved1, int reserved2) = 0;  // slot 10
    virtual int ReservedRequest2(int reserved1, int reserved2) = 0;  // slot 11
    virtual int SubmitLogin(const LoginRequestRecord* request, int requestId) = 0;    // slot 12
    virtual int SubmitLogout(const LogoutRequestRecord* request, int requestId) = 0;  // slot 13
    virtual int ReservedRequest3(int reserved1, int reserved2) = 0;  // slot 14

protected:
    // Not virtual: instances are released only through Dispose.
    ~CKelmRivoMdApi();
};

#endif
