#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
#include <atomic>
#include <thread>
#include <vector>

// A TCP service on 127.0.0.1 on a free port. Without a responder it only listens, which is
// all a forced connection check needs; with one it answers every request with an empty
// "404 Not Found" and closes, so downloads fail at once (or after answerDelayMs, to keep an
// installation running for a while); or it takes one connection (a connection check) and then
// closes its port, so that every later request is refused; or it fills its queue of waiting
// connections itself and accepts none, so that a further connection attempt goes unanswered
// until the object ends. The accept loop ends with the object, after at most kMaxConnections
// connections, and a lone accept after kAcceptWaitMs.
class LoopbackListener {
  public:
    enum Mode { ListenOnly, AnswerNotFound, GoneAfterFirst, QueueFull };

    explicit LoopbackListener(Mode mode = ListenOnly, DWORD answerDelayMs = 0)
        : m_answerDelayMs(answerDelayMs) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        SOCKET listening = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(listening, mode == QueueFull ? 1 : 16);
        int length = sizeof(address);
        getsockname(listening, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_socket = listening;
        if (mode == QueueFull) FillQueue(address);
        if (mode == AnswerNotFound) m_responder = std::thread([this] { AnswerRequests(); });
        if (mode == GoneAfterFirst) m_responder = std::thread([this] { AcceptOneThenClose(); });
    }

    ~LoopbackListener() {
        m_stop = true;
        CloseListening();
        if (m_responder.joinable()) m_responder.join();
        for (SOCKET waiting : m_queued) closesocket(waiting);
        WSACleanup();
    }

    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    int Port() const { return m_port; }
    int Connections() const { return m_connections; }

    // A port on which nothing listens: bound and closed again.
    static int ClosedPort() {
        LoopbackListener listener;
        return listener.Port();
    }

  private:
    static constexpr int kMaxConnections = 200;
    static constexpr long kAcceptWaitMs = 30000;
    static constexpr int kQueueFillers = 4;

    void AnswerRequests() {
        while (!m_stop && m_connections < kMaxConnections) {
            SOCKET client = accept(m_socket.load(), nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            ++m_connections;
            DWORD timeoutMs = 2000;
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                       sizeof(timeoutMs));
            char request[4096];
            int received = recv(client, request, sizeof(request), 0);
            if (received > 0) {
                if (m_answerDelayMs > 0 && !m_stop) Sleep(m_answerDelayMs);
                static const char answer[] =
                    "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
                send(client, answer, sizeof(answer) - 1, 0);
            }
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    void AcceptOneThenClose() {
        SOCKET listening = m_socket.load();
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listening, &readable);
        timeval wait = {kAcceptWaitMs / 1000, 0};
        if (select(0, &readable, nullptr, nullptr, &wait) == 1) {
            SOCKET client = accept(listening, nullptr, nullptr);
            if (client != INVALID_SOCKET) {
                ++m_connections;
                closesocket(client);
            }
        }
        CloseListening();
    }

    // Connections nobody accepts, more than the queue holds; they wait without blocking.
    void FillQueue(const sockaddr_in& address) {
        for (int i = 0; i < kQueueFillers; ++i) {
            SOCKET waiting = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(waiting, FIONBIO, &nonBlocking);
            connect(waiting, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
            m_queued.push_back(waiting);
        }
        Sleep(200);
    }

    void CloseListening() {
        SOCKET listening = m_socket.exchange(INVALID_SOCKET);
        if (listening != INVALID_SOCKET) closesocket(listening);
    }

    DWORD m_answerDelayMs;
    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::thread m_responder;
    std::vector<SOCKET> m_queued;
};
