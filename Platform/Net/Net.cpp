// Platform/Net/Net.cpp: HTTP and SMTP over libcurl.
#include "Platform/Net/Net.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isHostChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

long envLong(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    return end && *end == 0 && v > 0 ? v : fallback;
}

struct Body {
    std::string* text;
    size_t limit;
    bool tooLong = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user)
{
    auto* body = static_cast<Body*>(user);
    size_t n = size * count;
    if (body->text->size() + n > body->limit) {
        body->tooLong = true;
        return 0; // aborts the transfer
    }
    body->text->append(data, n);
    return n;
}

struct Upload {
    const std::string* text;
    size_t offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user)
{
    auto* up = static_cast<Upload*>(user);
    size_t n = std::min(size * count, up->text->size() - up->offset);
    std::memcpy(buffer, up->text->data() + up->offset, n);
    up->offset += n;
    return n;
}

struct Easy {
    CURL* handle = curl_easy_init();
    curl_slist* list = nullptr;
    ~Easy()
    {
        curl_slist_free_all(list);
        if (handle)
            curl_easy_cleanup(handle);
    }
};

std::string urlOf(const NetServer& server, const std::string& path)
{
    std::string url = server.https ? "https://" : "http://";
    url += server.host;
    if (server.port)
        url += ":" + std::to_string(server.port);
    return url + path;
}

} // namespace

bool netParseServer(std::string_view text, NetServer& server)
{
    server = NetServer {};
    if (text.starts_with("https://")) {
        server.https = true;
        text.remove_prefix(8);
    } else if (text.starts_with("http://")) {
        text.remove_prefix(7);
    }
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos || close < 3)
            return false;
        for (char c : text.substr(1, close - 1))
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                return false;
        host = text.substr(0, close + 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':')
                return false;
            port = rest.substr(1);
            if (port.empty())
                return false;
        }
    } else {
        size_t colon = text.find(':');
        if (colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            if (port.empty())
                return false;
        }
        if (host.empty() || host.size() > 253 || host[0] == '-' || host[0] == '.')
            return false;
        for (char c : host)
            if (!isHostChar(c))
                return false;
    }
    if (!port.empty()) {
        if (port.size() > 5)
            return false;
        int p = 0;
        for (char c : port) {
            if (c < '0' || c > '9')
                return false;
            p = p * 10 + (c - '0');
        }
        if (p < 1 || p > 65535)
            return false;
        server.port = p;
    }
    server.host = std::string(host);
    return true;
}

bool netValidPath(std::string_view path)
{
    if (path.empty() || path[0] != '/')
        return false;
    for (char c : path) {
        auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F)
            return false;
    }
    return true;
}

std::vector<std::string> netHeaderLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty())
                lines.push_back(std::move(line));
            line.clear();
        } else if (c != 0) {
            line.push_back(c);
        }
    }
    if (!line.empty())
        lines.push_back(std::move(line));
    return lines;
}

NetLimits netLimits()
{
    NetLimits limits;
    limits.connectMs = envLong("VELORA_HTTP_CONNECT_MS", limits.connectMs);
    limits.stallMs = envLong("VELORA_HTTP_STALL_MS", limits.stallMs);
    limits.totalMs = envLong("VELORA_HTTP_TOTAL_MS", limits.totalMs);
    limits.maxBody = static_cast<size_t>(envLong("VELORA_HTTP_MAX_BODY", static_cast<long>(limits.maxBody)));
    return limits;
}

HttpReply netHttpRequest(const HttpRequest& request, const NetLimits& limits)
{
    HttpReply reply;
    globalInit();
    Easy easy;
    if (!easy.handle) {
        reply.error = "no transfer handle";
        return reply;
    }
    CURL* c = easy.handle;
    std::string url = urlOf(request.server, request.path);
    Body body { &reply.body, limits.maxBody };
    Upload upload { &request.body };
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, static_cast<long>(limits.maxRedirects));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.totalMs);
    // A stall: less than one byte a second over the stall time.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, std::max(1L, (limits.stallMs + 999) / 1000));
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBody));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "Velora");
    if (request.method == "GET") {
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "POST") {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(c, CURLOPT_COPYPOSTFIELDS, request.body.c_str());
    } else {
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, readUpload);
        curl_easy_setopt(c, CURLOPT_READDATA, &upload);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        if (request.method != "PUT")
            curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    for (const std::string& line : request.headers) {
        if (line.find_first_of("\r\n") != std::string::npos)
            continue; // never reached by netHeaderLines' output; kept as the last guard
        curl_slist* grown = curl_slist_append(easy.list, line.c_str());
        if (!grown) {
            reply.error = "out of memory";
            return reply;
        }
        easy.list = grown;
    }
    // libcurl would add "Expect: 100-continue" to uploads: the request goes out at once instead.
    easy.list = curl_slist_append(easy.list, "Expect:");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, easy.list);

    CURLcode code = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    if (code != CURLE_OK || body.tooLong) {
        reply.error = body.tooLong ? "body too long" : curl_easy_strerror(code);
        reply.body.clear();
        return reply;
    }
    char* type = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type) {
        reply.hasContentType = true;
        reply.contentType = type;
    }
    reply.complete = true;
    return reply;
}

bool netMailConfigured()
{
    const char* url = std::getenv("VELORA_SMTP_URL");
    return url && (std::strncmp(url, "smtp://", 7) == 0 || std::strncmp(url, "smtps://", 8) == 0);
}

namespace {

bool hasLineEnd(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

std::string bracketed(const std::string& address) { return "<" + address + ">"; }

} // namespace

bool netSendMail(const MailMessage& message)
{
    if (!netMailConfigured() || message.to.empty() || hasLineEnd(message.to) || hasLineEnd(message.from)
        || hasLineEnd(message.subject))
        return false;
    globalInit();
    Easy easy;
    if (!easy.handle)
        return false;
    CURL* c = easy.handle;
    NetLimits limits = netLimits();
    curl_easy_setopt(c, CURLOPT_URL, std::getenv("VELORA_SMTP_URL"));
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.totalMs);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, std::max(1L, (limits.stallMs + 999) / 1000));
    if (const char* user = std::getenv("VELORA_SMTP_USER"))
        curl_easy_setopt(c, CURLOPT_USERNAME, user);
    if (const char* password = std::getenv("VELORA_SMTP_PASSWORD"))
        curl_easy_setopt(c, CURLOPT_PASSWORD, password);
    std::string from = bracketed(message.from);
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    easy.list = curl_slist_append(nullptr, bracketed(message.to).c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, easy.list);

    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, ("From: " + from).c_str());
    headers = curl_slist_append(headers, ("To: " + bracketed(message.to)).c_str());
    headers = curl_slist_append(headers, ("Subject: " + message.subject).c_str());
    curl_mime* mime = curl_mime_init(c);
    curl_mimepart* text = curl_mime_addpart(mime);
    curl_mime_data(text, message.content.data(), message.content.size());
    curl_mime_type(text, "text/plain; charset=windows-1252");
    for (const MailMessage::Attachment& a : message.attachments) {
        curl_mimepart* part = curl_mime_addpart(mime);
        if (curl_mime_filedata(part, a.hostPath.c_str()) != CURLE_OK)
            continue;
        curl_mime_filename(part, a.fileName.c_str());
        std::string type = "application/octet-stream; x-mac-type=\"" + a.type + "\"; x-mac-creator=\"" + a.creator + "\"";
        curl_mime_type(part, type.c_str());
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime);
    CURLcode code = curl_easy_perform(c);
    curl_mime_free(mime);
    curl_slist_free_all(headers);
    return code == CURLE_OK;
}
