// An application as the Microsoft compiler's ABI builds it, against the
// installed public header alone: no C runtime headers exist for that target
// here, so the few runtime and kernel32 functions it calls are declared
// below. It checks the record layout, then runs two sessions against a quote
// server replaying a known recording:
//
//   ms_abi_app HOST:PORT RECORDING.csv
//
// 1. login, subscribe to every instrument of the recording, receive every
//    row and compare each field with the file, unsubscribe, logout, Dispose
//    from this thread;
// 2. login, subscribe, Dispose from inside the first NotifyQuote;
// 3. login, then history queries and the link's figures through the
//    extension interface (HistoryChecks.h).
// Slots 0, 3, 4, 7, 8 and 11 of the callback interface are reached, and an
// unexpected slot is reported, so the two ABIs must agree on slots 0 to 11.
// Exit status 0 when every check held.
#include <KelmRivoMdApi.h>
#include <KelmRivoMdExtension.h>

using Size = decltype(sizeof 0);

extern "C"
{
// msvcrt.dll
int printf(const char* format, ...);
void* fopen(const char* path, const char* mode);
char* fgets(char* line, int size, void* file);
int fclose(void* file);
double strtod(const char* text, char** end);
long strtol(const char* text, char** end, int base);
int strcmp(const char* a, const char* b);
char* strncpy(char* target, const char* source, Size size);
char* strchr(const char* text, int c);
void* memset(void* target, int value, Size size);
void free(void* block);
void exit(int status);
int __getmainargs(int* argc, char*** argv, char*** env, int expand, void* startup);

// kernel32.dll
__declspec(dllimport) void* __stdcall CreateEventA(void* security, int manualReset, int initialState,
                                                   const char* name);
__declspec(dllimport) int __stdcall SetEvent(void* event);
__declspec(dllimport) unsigned long __stdcall WaitForSingleObject(void* handle, unsigned long milliseconds);
__declspec(dllimport) int __stdcall CloseHandle(void* handle);

// The compiler's floating-point marker; the C runtime's startup code would
// define it.
int _fltused = 0;
}

#include "HistoryChecks.h"

// Only the callback's scalar deleting destructor refers to it; the library
// never deletes the callback object.
void operator delete(void* block) noexcept
{
    free(block);
}
void operator delete(void* block, Size) noexcept
{
    free(block);
}

namespace
{

const unsigned long WaitMs = 60000;
int g_failures = 0;

void Check(bool condition, const char* what)
{
    if (!condition)
    {
        printf("FAILED: %s\n", what);
        ++g_failures;
    }
}

// Offsets of MarketDepthRecord as the public records define them.
struct Offset
{
    Size Actual;
    Size Expected;
    const char* Name;
};

#define KELM_OFFSET(record, field, expected) {__builtin_offsetof(record, field), expected, #record "." #field}

void CheckLayout()
{
    Check(sizeof(ResponseInfoRecord) == 88, "sizeof ResponseInfoRecord");
    Check(sizeof(LoginResultRecord) == 204, "sizeof LoginResultRecord");
    Check(sizeof(LogoutResultRecord) == 27, "sizeof LogoutResultRecord");
    Check(sizeof(InstrumentSpecRecord) == 112, "sizeof InstrumentSpecRecord");
    Check(sizeof(MarketDepthRecord) == 584, "sizeof MarketDepthRecord");
    const Offset offsets[] = {
        KELM_OFFSET(LoginResultRecord, SysName, 45),     KELM_OFFSET(LoginResultRecord, SessionIDHigh, 88),
        KELM_OFFSET(LoginResultRecord, StartReference, 96), KELM_OFFSET(LoginResultRecord, Reserved1, 154),
        KELM_OFFSET(InstrumentSpecRecord, InstrumentID, 31), KELM_OFFSET(MarketDepthRecord, ExchangeID, 40),
        KELM_OFFSET(MarketDepthRecord, Price, 80),       KELM_OFFSET(MarketDepthRecord, QtyTotal, 136),
        KELM_OFFSET(MarketDepthRecord, Amount, 144),     KELM_OFFSET(MarketDepthRecord, ModifyTime, 208),
        KELM_OFFSET(MarketDepthRecord, Reserved5, 220),  KELM_OFFSET(MarketDepthRecord, BidPrice1, 224),
        KELM_OFFSET(MarketDepthRecord, AskQty1, 248),    KELM_OFFSET(MarketDepthRecord, BidPrice2, 256),
        KELM_OFFSET(MarketDepthRecord, AskQty5, 376),    KELM_OFFSET(MarketDepthRecord, Reserved6, 384),
        KELM_OFFSET(MarketDepthRecord, ModifyDate, 392), KELM_OFFSET(MarketDepthRecord, InstrumentID, 401),
        KELM_OFFSET(MarketDepthRecord, Reserved7, 482),
    };
    for (const Offset& offset : offsets)
        Check(offset.Actual == offset.Expected, offset.Name);
}

// One column of the recording: a MarketDepthRecord field by name.
enum class Kind
{
    Text,
    Price,
    Quantity
};

struct Column
{
    const char* Name;
    Kind Type;
    Size At;
};

#define KELM_TEXT(f) {#f, Kind::Text, __builtin_offsetof(MarketDepthRecord, f)}
#define KELM_PRICE(f) {#f, Kind::Price, __builtin_offsetof(MarketDepthRecord, f)}
#define KELM_QTY(f) {#f, Kind::Quantity, __builtin_offsetof(MarketDepthRecord, f)}
#define KELM_LEVEL(n) KELM_PRICE(BidPrice##n), KELM_QTY(BidQty##n), KELM_PRICE(AskPrice##n), KELM_QTY(AskQty##n)

const Column Columns[] = {
    KELM_TEXT(InstrumentID), KELM_TEXT(ExchangeID),  KELM_TEXT(TradeDate),     KELM_TEXT(ModifyDate),
    KELM_TEXT(ModifyTime),   KELM_PRICE(Price),      KELM_PRICE(PreSettle),    KELM_PRICE(PreClose),
    KELM_PRICE(PreOI),       KELM_PRICE(OpenPrice),  KELM_PRICE(HighestPrice), KELM_PRICE(LowestPrice),
    KELM_QTY(QtyTotal),      KELM_PRICE(Amount),     KELM_PRICE(OI),           KELM_PRICE(SettlePrice),
    KELM_PRICE(HighLimit),   KELM_PRICE(LowLimit),   KELM_LEVEL(1),            KELM_LEVEL(2),
    KELM_LEVEL(3),           KELM_LEVEL(4),          KELM_LEVEL(5),
};
const int ColumnCount = sizeof Columns / sizeof Columns[0];

const int MaxRows = 16;
const int LineSize = 2048;

// The recording: its lines (header first), split in place at the commas.
struct Recording
{
    char Lines[MaxRows + 1][LineSize];
    const char* Fields[MaxRows + 1][ColumnCount];
    int Rows = 0;  // without the header
    const char* Instruments[MaxRows];
    int InstrumentCount = 0;
};

Recording g_recording;

bool SplitLine(char* line, const char** fields)
{
    if (char* end = strchr(line, '\n'))
        *end = '\0';
    if (char* end = strchr(line, '\r'))
        *end = '\0';
    for (int i = 0; i < ColumnCount; ++i)
    {
        fields[i] = line;
        char* comma = strchr(line, ',');
        if (!comma)
            return i == ColumnCount - 1;
        *comma = '\0';
        line = comma + 1;
    }
    return false;
}

void NoteInstrument(Recording& recording, const char* code)
{
    for (int i = 0; i < recording.InstrumentCount; ++i)
        if (strcmp(recording.Instruments[i], code) == 0)
            return;
    recording.Instruments[recording.InstrumentCount++] = code;
}

bool LoadRecording(const char* path, Recording& recording)
{
    void* file = fopen(path, "r");
    if (!file)
        return false;
    int lines = 0;
    while (lines <= MaxRows && fgets(recording.Lines[lines], LineSize, file))
        ++lines;
    fclose(file);
    bool ok = lines > 1;
    for (int i = 0; ok && i < lines; ++i)
        ok = SplitLine(recording.Lines[i], recording.Fields[i]);
    for (int c = 0; ok && c < ColumnCount; ++c)
        ok = strcmp(recording.Fields[0][c], Columns[c].Name) == 0;
    recording.Rows = ok ? lines - 1 : 0;
    for (int row = 1; row <= recording.Rows; ++row)
        NoteInstrument(recording, recording.Fields[row][0]);
    return ok;
}

// Every field of the quote against row `row` of the recording.
void CheckQuote(const MarketDepthRecord& quote, int row)
{
    const char* const* fields = g_recording.Fields[row];
    const char* bytes = reinterpret_cast<const char*>(&quote);
    for (int c = 0; c < ColumnCount; ++c)
    {
        const Column& column = Columns[c];
        bool same = false;
        if (column.Type == Kind::Text)
            same = strcmp(bytes + column.At, fields[c]) == 0;
        else if (column.Type == Kind::Price)
            same = *reinterpret_cast<const double*>(bytes + column.At) == strtod(fields[c], nullptr);
        else
            same = *reinterpret_cast<const int*>(bytes + column.At) == static_cast<int>(strtol(fields[c], nullptr, 10));
        if (!same)
            printf("row %d column %s: file '%s'\n", row, column.Name, fields[c]);
        Check(same, "a quote field differs from the recording");
    }
    Check(quote.CurrentPrice == quote.Price, "CurrentPrice repeats Price");
}

// Records what arrives; every notification runs on the library's thread.
class Application : public CKelmRivoMdCallback
{
public:
    explicit Application(bool disposeInQuote) : m_disposeInQuote(disposeInQuote)
    {
        for (void*& event : m_events)
            event = CreateEventA(nullptr, 0, 0, nullptr);
    }
    ~Application() override
    {
        for (void* event : m_events)
            CloseHandle(event);
    }
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    enum Event
    {
        Connected,
        LoggedIn,
        Subscribed,
        AllQuotes,
        Unsubscribed,
        LoggedOut,
        Disposed,
        EventCount
    };

    bool Wait(Event event) { return WaitForSingleObject(m_events[event], WaitMs) == 0; }

    CKelmRivoMdApi* api = nullptr;
    volatile int quotes = 0;
    volatile int subscribed = 0;
    volatile int unexpected = 0;
    volatile int afterDispose = 0;
    volatile bool disposed = false;
    volatile int loginResult = -1;

    void NotifyConnected() override { Signal(Connected); }
    void NotifyDisconnected(int) override { Unexpected("NotifyDisconnected"); }
    void ReservedNotify2() override { Unexpected("slot 2"); }
    void NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int requestId, bool isLast) override
    {
        Check(result && info && requestId == 7 && isLast, "login result arguments");
        if (result)
            Check(strcmp(result->UserCode, "msabi") == 0 && strcmp(result->StartReference, "1") == 0,
                  "login result record");
        loginResult = info ? info->RspNo : -1;
        Signal(LoggedIn);
    }
    void NotifyLogoutResult(LogoutResultRecord* result, ResponseInfoRecord* info, int requestId, bool isLast) override
    {
        Check(result && info && info->RspNo == 0 && requestId == 8 && isLast, "logout result arguments");
        if (result)
            Check(strcmp(result->UserCode, "msabi") == 0 && result->BrokerCode[0] == '\0', "logout result record");
        Signal(LoggedOut);
    }
    void ReservedNotify5() override { Unexpected("slot 5"); }
    void ReservedNotify6() override { Unexpected("slot 6"); }
    void NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                               bool isLast) override
    {
        Check(instrument && info && info->RspNo == 0 && requestId == 0 && isLast, "subscribe result arguments");
        if (++subscribed == g_recording.InstrumentCount)
            Signal(Subscribed);
    }
    void NotifyUnsubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int, bool) override
    {
        Check(instrument && info && info->RspNo == 0, "unsubscribe result arguments");
        if (--subscribed == 0)
            Signal(Unsubscribed);
    }
    void ReservedNotify9() override { Unexpected("slot 9"); }
    void ReservedNotify10() override { Unexpected("slot 10"); }
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        Note();
        const int row = ++quotes;
        if (m_disposeInQuote)
        {
            if (row == 1)
            {
                api->Dispose();
                SetEvent(m_events[Disposed]);
                disposed = true;
            }
            return;
        }
        if (row <= g_recording.Rows)
            CheckQuote(*quote, row);
        if (row == g_recording.Rows)
            Signal(AllQuotes);
    }

private:
    void Note()
    {
        if (disposed)
            ++afterDispose;
    }
    void Signal(Event event)
    {
        Note();
        SetEvent(m_events[event]);
    }
    void Unexpected(const char* what)
    {
        printf("unexpected notification: %s\n", what);
        ++unexpected;
    }

    bool m_disposeInQuote;
    void* m_events[EventCount];
};

char g_url[256];

CKelmRivoMdApi* Open(Application& app, bool subscribe = true)
{
    CKelmRivoMdApi* api = CKelmRivoMdApi::CreateRivoMdApi("", false, false);
    app.api = api;
    api->SetCallbackObject(&app);
    api->AddServerUrl(g_url);
    api->Launch();
    Check(app.Wait(Application::Connected), "connected");
    LoginRequestRecord login;
    memset(&login, 0, sizeof login);
    strncpy(login.UserCode, "msabi", sizeof login.UserCode - 1);
    strncpy(login.Password, "secret", sizeof login.Password - 1);
    Check(api->SubmitLogin(&login, 7) == 0, "login queued");
    Check(app.Wait(Application::LoggedIn) && app.loginResult == 0, "logged in");
    if (!subscribe)
        return api;
    char* codes[MaxRows];
    for (int i = 0; i < g_recording.InstrumentCount; ++i)
        codes[i] = const_cast<char*>(g_recording.Instruments[i]);
    Check(api->SubscribeQuotes(codes, g_recording.InstrumentCount) == 0, "subscribe");
    return api;
}

void FullSession()
{
    Application app(false);
    CKelmRivoMdApi* api = Open(app);
    Check(app.Wait(Application::Subscribed), "every subscription answered");
    Check(app.Wait(Application::AllQuotes), "every recorded quote received");
    char* codes[MaxRows];
    for (int i = 0; i < g_recording.InstrumentCount; ++i)
        codes[i] = const_cast<char*>(g_recording.Instruments[i]);
    Check(api->UnsubscribeQuotes(codes, g_recording.InstrumentCount) == 0, "unsubscribe");
    Check(app.Wait(Application::Unsubscribed), "every unsubscription answered");
    LogoutRequestRecord logout;
    memset(&logout, 0, sizeof logout);
    Check(api->SubmitLogout(&logout, 8) == 0, "logout queued");
    Check(app.Wait(Application::LoggedOut), "logged out");
    api->Dispose();
    app.disposed = true;
    Check(app.quotes == g_recording.Rows, "no quote beyond the recording");
    Check(app.unexpected == 0, "only the expected slots were called");
    printf("session 1: %d quotes checked field by field, %d instruments\n", app.quotes, g_recording.InstrumentCount);
}

void DisposeInsideNotifyQuote()
{
    Application app(true);
    Open(app);
    Check(app.Wait(Application::Disposed), "disposed inside NotifyQuote");
    Check(app.quotes == 1 && app.afterDispose == 0, "nothing after Dispose inside NotifyQuote");
    Check(app.unexpected == 0, "only the expected slots were called");
    printf("session 2: disposed inside NotifyQuote\n");
}

void HistorySession()
{
    Application app(false);
    CKelmRivoMdApi* api = Open(app, false);
    historychecks::Checker check;
    historychecks::Run(api, g_url + 6, g_recording.Instruments[0], check);
    g_failures += check.failures;
    api->Dispose();
    app.disposed = true;
    Check(app.unexpected == 0, "only the expected slots were called");
}

}  // namespace

extern "C" void AppEntry()
{
    int argc = 0;
    char** argv = nullptr;
    char** env = nullptr;
    int startup = 0;
    __getmainargs(&argc, &argv, &env, 0, &startup);
    if (argc != 3)
    {
        printf("usage: ms_abi_app HOST:PORT RECORDING.csv\n");
        exit(2);
    }
    CheckLayout();
    Check(strcmp(CKelmRivoMdApi::GetApiVersion(), "V6_6_9") == 0, "GetApiVersion");
    Check(LoadRecording(argv[2], g_recording), "recording readable, columns as expected");
    strncpy(g_url, "tcp://", sizeof g_url - 1);
    strncpy(g_url + 6, argv[1], sizeof g_url - 7);
    if (g_failures == 0)
    {
        FullSession();
        DisposeInsideNotifyQuote();
        HistorySession();
    }
    printf(g_failures == 0 ? "all checks passed\n" : "%d checks failed\n", g_failures);
    exit(g_failures == 0 ? 0 : 1);
}
