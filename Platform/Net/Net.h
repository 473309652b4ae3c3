// Platform/Net/Net.h: HTTP requests and sending mail, over the host's transfer library. Every
// transfer is blocking with bounded time limits; failures are reported by the result, never thrown.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A server given as host[:port], optionally prefixed with "http://" or "https://" (http when
// absent). The host is a name of letters, digits, "-" and ".", or an IPv6 address in brackets;
// the port 1 to 65535. False for anything else.
struct NetServer {
    bool https = false;
    std::string host;
    int port = 0; // 0: the scheme's own
};
bool netParseServer(std::string_view text, NetServer& server);
// A path starts with "/" and holds no control character, blank or byte above 126.
bool netValidPath(std::string_view path);
// Splits header text into its lines (ends: CR LF, LF or CR); empty lines are dropped. Each header
// reaches the request as one line, so no line end can be smuggled into one.
std::vector<std::string> netHeaderLines(std::string_view text);

struct NetLimits {
    long connectMs = 15000;  // to connect (and to finish the TLS handshake)
    long stallMs = 30000;    // without a single byte arriving
    long totalMs = 300000;   // for the whole transfer
    size_t maxBody = 64u << 20;
    int maxRedirects = 5;
};
// The limits in force: the defaults above, each overridable by the environment variables
// VELORA_HTTP_CONNECT_MS, VELORA_HTTP_STALL_MS, VELORA_HTTP_TOTAL_MS and VELORA_HTTP_MAX_BODY.
NetLimits netLimits();

struct HttpRequest {
    std::string method; // "GET", "POST", "PUT"
    NetServer server;
    std::string path;
    std::string body;
    bool hasBody = false;
    std::vector<std::string> headers;
};
struct HttpReply {
    bool complete = false;     // the transfer finished and the whole body arrived
    long status = 0;
    bool hasContentType = false;
    std::string contentType;
    std::string body;
    std::string error;         // why it failed
};
HttpReply netHttpRequest(const HttpRequest& request, const NetLimits& limits);

// Mail through SMTP. The server comes from the environment: VELORA_SMTP_URL (smtp://host:port or
// smtps://host:port), with VELORA_SMTP_USER and VELORA_SMTP_PASSWORD when it needs a log-in.
struct MailMessage {
    std::string from, to, subject, content;
    struct Attachment {
        std::string hostPath, fileName, type, creator;
    };
    std::vector<Attachment> attachments;
};
bool netMailConfigured();
// True when the server accepted the message.
bool netSendMail(const MailMessage& message);
