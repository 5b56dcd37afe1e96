// One accepted client connection of the protocol server: reads and frames
// the client's packages, queues frames for sending, keeps the link alive
// with heartbeats and drops a client that stays silent.
//
// Every operation must run on the server's I/O thread (the request handler
// and the server's posted calls do); the server offers thread-safe wrappers.
#ifndef KELM_SIM_CSIMSESSION_H
#define KELM_SIM_CSIMSESSION_H

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include "sim/CSimFrameAssembler.h"
#include "sim/CSimPackageWriter.h"

struct SimSessionSettings
{
    // Send a heartbeat when nothing was sent for this long; 0 = never.
    std::chrono::milliseconds HeartbeatIdle{0};
    // Close the connection when nothing arrived for this long; 0 = never.
    std::chrono::milliseconds SilenceTimeout{0};
    // Keep every received frame, decoded request and closed session for
    // inspection (tests); a long-running server turns it off.
    bool KeepReceivedFrames = true;
    // Bytes a client may have waiting to be written before Offer drops what
    // it is given; a Send that would make twice as much wait disconnects the
    // client instead, since it has fallen too far behind. 0 = no limit.
    std::size_t MaxQueueBytes = 0;
};

class CSimSession : public std::enable_shared_from_this<CSimSession>
{
public:
    using FrameHandler = std::function<void(const std::shared_ptr<CSimSession>&, const uint8_t* frame,
                                            uint32_t frameLength)>;
    using CloseHandler = std::function<void(const std::shared_ptr<CSimSession>&)>;

    CSimSession(boost::asio::ip::tcp::socket socket, uint64_t id, const SimSessionSettings& settings,
                FrameHandler onFrame, CloseHandler onClose);

    // Starts reading and the timers.
    void Start();

    // Queues bytes for sending; ignored once the session is closed. Over
    // the hard limit (twice MaxQueueBytes) the session is closed instead.
    void Send(SimFrame bytes);
    // Queues a frame the client can do without (a quote), unless
    // MaxQueueBytes are waiting: then it and the frames offered after it are
    // dropped and counted until the queue is down to half. True when queued.
    bool Offer(SimFrame bytes);

    // Keeps the write queue full with copies of frame until StopFlood or
    // the end of the connection.
    void StartFlood(SimFrame frame);
    void StopFlood();

    // Orderly close (FIN) once the frames already queued are written; the
    // flood stops at once and nothing more is queued.
    void Close(const std::string& reason = "closed by server");
    // Orderly close now, dropping whatever is still queued.
    void Abort(const std::string& reason);
    // Close with a reset (RST: linger with a zero timeout), dropping the queue.
    void Reset();

    uint64_t Id() const { return m_id; }
    bool IsOpen() const { return !m_closed; }
    const std::string& CloseReason() const { return m_closeReason; }
    const std::vector<SimFrame>& ReceivedFrames() const { return m_receivedFrames; }
    uint64_t BytesSent() const { return m_bytesSent; }
    uint64_t FramesQueued() const { return m_framesQueued; }
    // Blocks waiting to be written, the one being written included.
    std::size_t Backlog() const { return m_writeQueue.size(); }
    // Bytes in those blocks.
    std::size_t QueuedBytes() const { return m_queuedBytes; }
    // Frames Offer dropped, and whether it is dropping now.
    uint64_t DroppedFrames() const { return m_droppedFrames; }
    bool Dropping() const { return m_dropping; }

private:
    void Read();
    void OnRead(const boost::system::error_code& error, std::size_t length);
    void WriteNext();
    void OnWrite(const boost::system::error_code& error, std::size_t length);
    void Queue(SimFrame bytes);
    void RefillFlood();
    void ArmHeartbeat();
    void OnHeartbeatTimer(const boost::system::error_code& error);
    void ArmSilence();
    void OnSilenceTimer(const boost::system::error_code& error);
    void Shut(const std::string& reason, bool reset);

    boost::asio::ip::tcp::socket m_socket;
    const uint64_t m_id;
    const SimSessionSettings m_settings;
    FrameHandler m_onFrame;
    CloseHandler m_onClose;
    CSimFrameAssembler m_assembler;
    std::array<uint8_t, 65536> m_readBuffer;
    std::deque<SimFrame> m_writeQueue;
    std::size_t m_queuedBytes = 0;
    uint64_t m_droppedFrames = 0;
    bool m_dropping = false;
    bool m_writing = false;
    SimFrame m_floodFrame;
    boost::asio::steady_timer m_heartbeatTimer;
    boost::asio::steady_timer m_silenceTimer;
    std::chrono::steady_clock::time_point m_lastSend;
    std::chrono::steady_clock::time_point m_lastReceive;
    std::vector<SimFrame> m_receivedFrames;
    uint64_t m_bytesSent = 0;
    uint64_t m_framesQueued = 0;
    bool m_closed = false;
    std::string m_closeReason;
    std::string m_closeReasonPending;  // set while a Close waits for the queue
};

#endif
