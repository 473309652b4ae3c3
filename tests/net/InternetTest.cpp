// tests/net/InternetTest.cpp: the HTTP request primitives against a tiny server on the loopback
// address, run by the test itself on a thread: status and body, redirects, a stalled reply, a
// dropped connection, and the argument checks.
#include "Platform/Net/Net.h"
#include "../kernel/Support.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Serves connections one at a time; the handler gets the request head and answers the reply
// bytes (an empty answer drops the connection without replying).
class LoopbackServer {
public:
    explicit LoopbackServer(std::function<std::string(const std::string&)> handler) : m_handler(std::move(handler))
    {
        m_socket = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t size = sizeof address;
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        listen(m_socket, 8);
        m_thread = std::thread([this] { serve(); });
    }
    ~LoopbackServer()
    {
        m_stopping = true;
        shutdown(m_socket, SHUT_RDWR);
        close(m_socket);
        m_thread.join();
    }
    std::string server() const { return "127.0.0.1:" + std::to_string(m_port); }
    int requests() const { return m_requests; }
    std::string lastRequest() const { return m_last; }

private:
    void serve()
    {
        while (!m_stopping) {
            int client = accept(m_socket, nullptr, nullptr);
            if (client < 0)
                return;
            std::string head;
            char buffer[4096];
            while (head.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = read(client, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                head.append(buffer, static_cast<size_t>(n));
            }
            ++m_requests;
            m_last = head;
            std::string reply = m_handler(head);
            if (!reply.empty())
                (void)!write(client, reply.data(), reply.size());
            close(client);
        }
    }

    std::function<std::string(const std::string&)> m_handler;
    int m_socket = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stopping { false };
    std::atomic<int> m_requests { 0 };
    std::string m_last;
};

std::string reply(const std::string& status, const std::string& body, const std::string& extra = "")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
        + "\r\nConnection: close\r\n" + extra + "\r\n" + body;
}

// Calls a request primitive with callbacks that record what they are given: (success type text) or
// (failure).
std::string requestText(const std::string& call)
{
    return evalText("(define Got nil)"
                    "(define (on-ok _type _h) (set! Got (list 'success _type (handle->string _h))))"
                    "(define (on-fail) (set! Got (list 'failure)))"
                    + call + " Got");
}

TEST(Internet, StatusAndBody)
{
    LoopbackServer server([](const std::string&) { return reply("200 OK", "hello"); });
    EXPECT_EQ(requestText("(get-http \"" + server.server() + "\" \"/x\" on-ok on-fail nil)"),
              "(success text/plain hello)");
    EXPECT_NE(server.lastRequest().find("GET /x HTTP/1.1"), std::string::npos);
    EXPECT_NE(server.lastRequest().find("User-Agent: Velora"), std::string::npos);
}

TEST(Internet, EmptyBodyAndErrorStatus)
{
    LoopbackServer server([](const std::string& head) {
        return head.find("/missing") != std::string::npos ? reply("404 Not Found", "no") : reply("204 No Content", "");
    });
    EXPECT_EQ(requestText("(get-http \"" + server.server() + "\" \"/empty\" on-ok on-fail nil)"),
              "(success text/plain )");
    // A complete reply is a success whatever its status: the body is what the server sent.
    EXPECT_EQ(requestText("(get-http \"" + server.server() + "\" \"/missing\" on-ok on-fail nil)"),
              "(success text/plain no)");
}

TEST(Internet, PostSendsDataAndHeaders)
{
    LoopbackServer server([](const std::string& head) { return reply("200 OK", "ok"); });
    requestText("(post-http \"" + server.server() + "\" \"/p\" \"a=1\" on-ok on-fail \"X-One: 1\r\nX-Two: 2\")");
    std::string head = server.lastRequest();
    EXPECT_NE(head.find("POST /p HTTP/1.1"), std::string::npos);
    EXPECT_NE(head.find("X-One: 1\r\nX-Two: 2\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Content-Length: 3"), std::string::npos) << head;
}

TEST(Internet, Redirects)
{
    LoopbackServer server([](const std::string& head) {
        if (head.find("GET /final") != std::string::npos)
            return reply("200 OK", "arrived");
        if (head.find("GET /loop") != std::string::npos)
            return reply("302 Found", "", "Location: /loop\r\n");
        return reply("302 Found", "", "Location: /final\r\n");
    });
    EXPECT_EQ(requestText("(get-http \"" + server.server() + "\" \"/start\" on-ok on-fail nil)"),
              "(success text/plain arrived)");
    int before = server.requests();
    EXPECT_EQ(requestText("(get-http \"" + server.server() + "\" \"/loop\" on-ok on-fail nil)"), "(failure)");
    EXPECT_EQ(server.requests() - before, 6) << "the request and at most 5 redirects";
}

TEST(Internet, DroppedConnectionAndTruncatedBody)
{
    LoopbackServer dropped([](const std::string&) { return std::string(); });
    EXPECT_EQ(requestText("(get-http \"" + dropped.server() + "\" \"/\" on-ok on-fail nil)"), "(failure)");
    LoopbackServer truncated([](const std::string&) {
        return std::string("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\nonly part");
    });
    EXPECT_EQ(requestText("(get-http \"" + truncated.server() + "\" \"/\" on-ok on-fail nil)"), "(failure)");
}

TEST(Internet, StallAndBodyLimit)
{
    LoopbackServer slow([](const std::string&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        return reply("200 OK", "late");
    });
    setenv("VELORA_HTTP_STALL_MS", "1000", 1);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(requestText("(get-http \"" + slow.server() + "\" \"/\" on-ok on-fail nil)"), "(failure)");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2400));
    unsetenv("VELORA_HTTP_STALL_MS");

    LoopbackServer big([](const std::string&) { return reply("200 OK", std::string(5000, 'x')); });
    setenv("VELORA_HTTP_MAX_BODY", "4096", 1);
    EXPECT_EQ(requestText("(get-http \"" + big.server() + "\" \"/\" on-ok on-fail nil)"), "(failure)");
    unsetenv("VELORA_HTTP_MAX_BODY");
}

TEST(Internet, UnreachableServerCallsOnlyFailure)
{
    int port;
    {
        LoopbackServer gone([](const std::string&) { return std::string(); });
        port = std::stoi(gone.server().substr(10));
    }
    EXPECT_EQ(requestText("(get-http \"127.0.0.1:" + std::to_string(port) + "\" \"/\" on-ok on-fail nil)"), "(failure)");
}

TEST(Internet, ArgumentChecks)
{
    const char* bad[] = {
        "(get-http \"host/evil\" \"/\" on-ok on-fail nil)",
        "(get-http \"host:99999\" \"/\" on-ok on-fail nil)",
        "(get-http \"127.0.0.1:8\" \"x\" on-ok on-fail nil)",
        "(get-http \"127.0.0.1:8\" \"/a\r\nX: y\" on-ok on-fail nil)",
        "(get-http 'host \"/\" on-ok on-fail nil)",
    };
    for (const char* call : bad)
        EXPECT_NE(reportOf([&] { requestText(call); }).find("1010-2"), std::string::npos) << call;

    std::vector<std::string> lines = netHeaderLines("A: 1\r\nB: 2\rC: 3\n\nD: 4");
    EXPECT_EQ(lines, (std::vector<std::string> { "A: 1", "B: 2", "C: 3", "D: 4" }));
    NetServer s;
    EXPECT_TRUE(netParseServer("https://example.org:8443", s));
    EXPECT_TRUE(s.https);
    EXPECT_EQ(s.port, 8443);
    EXPECT_TRUE(netParseServer("[::1]:80", s));
    EXPECT_FALSE(netParseServer("a b", s));
    EXPECT_FALSE(netParseServer("-x", s));
}

TEST(Internet, MailAndAccountAndOpen)
{
    unsetenv("VELORA_SMTP_URL");
    EXPECT_EQ(evalText("(velora-send-mail :mail-to \"a@b\" :subject \"s\" :content \"c\")"), "()");
    EXPECT_EQ(evalText("(string-length (get-mail-host))"), "0");
    EXPECT_EQ(evalText("(open-url \"-x\" nil)"), "()");
    setenv("VELORA_OPENER", "/bin/true", 1);
    EXPECT_EQ(evalText("(open-url \"http://example.org/\" nil)"), "t");
    unsetenv("VELORA_OPENER");
}

} // namespace
