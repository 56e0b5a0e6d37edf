#include "update/CurlHttpClient.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>

#include <sys/socket.h>

namespace talvex {
namespace {

struct Transfer {
    const HttpRequest* request = nullptr;
    std::string body;
    bool full = false; ///< the body limit was reached: ended on purpose
    bool connecting = false;
};

size_t keepBody(char* data, size_t size, size_t count, void* context)
{
    auto& transfer = *static_cast<Transfer*>(context);
    const std::size_t bytes = size * count;
    const std::size_t room = transfer.request->bodyLimit - transfer.body.size();
    transfer.body.append(data, std::min(bytes, room));
    if (bytes < room)
        return bytes;
    // Anything short of the count given ends the transfer: the rest is never read.
    transfer.full = true;
    return 0;
}

curl_socket_t openSocket(void* context, curlsocktype, curl_sockaddr* address)
{
    auto& transfer = *static_cast<Transfer*>(context);
    if (!transfer.connecting && transfer.request->connecting)
        transfer.request->connecting();
    transfer.connecting = true;
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

bool startCurl()
{
    // curl_global_init is not thread-safe; once for the process.
    static std::once_flag once;
    static CURLcode started = CURLE_FAILED_INIT;
    std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return started == CURLE_OK;
}

struct Stop {
    HttpStep step;
    Status status;
};

// Every libcurl code the client meets, setopt's and perform's alike (a
// library that would not start is CURLE_FAILED_INIT), becomes a step and a
// Status here and nowhere else.
Stop stopOf(CURLcode code, bool connected)
{
    switch (code) {
    case CURLE_OK: return {HttpStep::Receive, Status::Ok};
    case CURLE_FAILED_INIT: return {HttpStep::Start, Status::Unsupported};
    case CURLE_UNKNOWN_OPTION:
    case CURLE_NOT_BUILT_IN: return {HttpStep::Request, Status::Unsupported};
    // A scheme it does not speak; from a server, a reply that is no HTTP.
    case CURLE_UNSUPPORTED_PROTOCOL:
        return connected ? Stop{HttpStep::Receive, Status::Other} : Stop{HttpStep::Request, Status::BadInput};
    case CURLE_BAD_FUNCTION_ARGUMENT:
    case CURLE_URL_MALFORMAT: return {HttpStep::Request, Status::BadInput};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return {HttpStep::Resolve, Status::Gone};
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER: return {HttpStep::Connect, Status::Refused};
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM: return {HttpStep::Connect, Status::Denied};
    case CURLE_SSL_ENGINE_NOTFOUND: return {HttpStep::Connect, Status::Unsupported};
    case CURLE_OPERATION_TIMEDOUT: return {connected ? HttpStep::Receive : HttpStep::Connect, Status::TimedOut};
    case CURLE_SEND_ERROR: return {HttpStep::Send, Status::Gone};
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE: return {HttpStep::Receive, Status::Gone};
    // Too many redirects, a malformed reply, a body the client did not take.
    default: return {HttpStep::Receive, Status::Other};
    }
}

constexpr int kMaxRedirects = 5;

// The options of one request; the first one libcurl refuses is named,
// and the request is not sent.
class Options {
public:
    Options(CURL* curl, CurlSetOption set)
        : m_curl(curl)
        , m_set(set)
    {
    }

    template<typename Value>
    bool set(CURLoption option, const char* name, Value value)
    {
        if (m_refused.empty()) {
            const CURLcode code = m_set(m_curl, option, value);
            if (code != CURLE_OK)
                refuse(code, name);
        }
        return m_refused.empty();
    }

    // Only http and https. CURLOPT_PROTOCOLS_STR came with 7.85; a libcurl
    // older than that (at build or at run time) takes the bitmask.
    void onlyHttp()
    {
#if LIBCURL_VERSION_NUM >= 0x075500
        if (m_refused.empty()) {
            const CURLcode code = m_set(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
            if (code == CURLE_OK)
                return;
            if (code != CURLE_UNKNOWN_OPTION) {
                refuse(code, "CURLOPT_PROTOCOLS_STR");
                return;
            }
        }
#endif
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
        set(CURLOPT_PROTOCOLS, "CURLOPT_PROTOCOLS", static_cast<long>(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    }

    const std::string& refused() const { return m_refused; }
    CURLcode refusedCode() const { return m_code; }

private:
    void refuse(CURLcode code, const char* name)
    {
        m_code = code;
        m_refused = std::string("libcurl refused ") + name + " (" + curl_easy_strerror(code) + ")";
    }

    CURL* m_curl;
    CurlSetOption m_set;
    std::string m_refused;
    CURLcode m_code = CURLE_OK;
};

// A redirect's scheme and host, as curl itself parses the address.
bool schemeAndHost(const std::string& url, std::string& scheme, std::string& host)
{
    CURLU* parts = curl_url();
    if (parts == nullptr)
        return false;
    char* schemeText = nullptr;
    char* hostText = nullptr;
    const bool ok = curl_url_set(parts, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK
                    && curl_url_get(parts, CURLUPART_SCHEME, &schemeText, 0) == CURLUE_OK
                    && curl_url_get(parts, CURLUPART_HOST, &hostText, 0) == CURLUE_OK;
    if (ok) {
        scheme = schemeText;
        host = hostText;
    }
    curl_free(schemeText);
    curl_free(hostText);
    curl_url_cleanup(parts);
    return ok;
}

class CurlHttpClient final : public HttpClient {
public:
    explicit CurlHttpClient(CurlSetOption setOption)
        : m_setOption(setOption)
    {
    }

    HttpResponse get(const HttpRequest& request) override
    {
        HttpResponse response;
        CURL* curl = startCurl() ? curl_easy_init() : nullptr;
        if (curl == nullptr) {
            stop(response, CURLE_FAILED_INIT, false, "libcurl did not start");
            return response;
        }
        Transfer transfer;
        transfer.request = &request;
        char error[CURL_ERROR_SIZE] = {};
        // The request as the tool always sent it: no Accept, no keep-alive.
        curl_slist* headers = curl_slist_append(nullptr, "Accept:");
        headers = curl_slist_append(headers, "Connection: close");

        // Redirects are followed here, not by curl, so that each address
        // gets its own proxy (its scheme's, or none under no_proxy).
        Options options(curl, m_setOption);
        options.set(CURLOPT_HTTPHEADER, "CURLOPT_HTTPHEADER", headers);
        options.set(CURLOPT_HTTP_VERSION, "CURLOPT_HTTP_VERSION", static_cast<long>(CURL_HTTP_VERSION_1_1));
        options.onlyHttp();
        options.set(CURLOPT_FOLLOWLOCATION, "CURLOPT_FOLLOWLOCATION", 0L);
        options.set(CURLOPT_NOPROXY, "CURLOPT_NOPROXY", request.noProxy.c_str());
        // No SIGALRM for the name look-up: the windows' thread must not be interrupted.
        options.set(CURLOPT_NOSIGNAL, "CURLOPT_NOSIGNAL", 1L);
        options.set(CURLOPT_CONNECTTIMEOUT_MS, "CURLOPT_CONNECTTIMEOUT_MS",
                    static_cast<long>(request.connectTimeout.count()));
        options.set(CURLOPT_WRITEFUNCTION, "CURLOPT_WRITEFUNCTION", keepBody);
        options.set(CURLOPT_WRITEDATA, "CURLOPT_WRITEDATA", static_cast<void*>(&transfer));
        options.set(CURLOPT_OPENSOCKETFUNCTION, "CURLOPT_OPENSOCKETFUNCTION", openSocket);
        options.set(CURLOPT_OPENSOCKETDATA, "CURLOPT_OPENSOCKETDATA", static_cast<void*>(&transfer));
        options.set(CURLOPT_ERRORBUFFER, "CURLOPT_ERRORBUFFER", static_cast<char*>(error));

        // One limit for the whole exchange, redirects included.
        using Clock = std::chrono::steady_clock;
        const Clock::time_point deadline = Clock::now() + request.connectTimeout + request.receiveTimeout;
        std::string url = request.url;
        std::string proxy = request.proxy;
        CURLcode code = CURLE_OK;
        for (int redirects = 0;; ++redirects) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            options.set(CURLOPT_URL, "CURLOPT_URL", url.c_str());
            // Empty turns off curl's own reading of the environment.
            options.set(CURLOPT_PROXY, "CURLOPT_PROXY", proxy.c_str());
            options.set(CURLOPT_TIMEOUT_MS, "CURLOPT_TIMEOUT_MS", std::max<long>(1, static_cast<long>(left.count())));
            if (!options.refused().empty())
                break;
            transfer.body.clear();
            transfer.full = false;
            code = curl_easy_perform(curl);
            char* location = nullptr;
            // Ended on purpose at the body limit: the reply came in.
            if (code == CURLE_WRITE_ERROR && transfer.full)
                code = CURLE_OK;
            if (code != CURLE_OK || curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location) != CURLE_OK
                || location == nullptr)
                break;
            if (redirects == kMaxRedirects) {
                code = CURLE_TOO_MANY_REDIRECTS;
                break;
            }
            url = location;
            std::string scheme;
            std::string host;
            if (request.proxyFor && schemeAndHost(url, scheme, host))
                proxy = request.proxyFor(scheme, host);
        }

        if (!options.refused().empty()) {
            stop(response, options.refusedCode(), false, options.refused());
        } else {
            long status = 0;
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
            response.status = static_cast<int>(status);
            response.body = std::move(transfer.body);
            curl_off_t connected = 0;
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
            stop(response, code, connected > 0, error[0] != '\0' ? error : curl_easy_strerror(code));
        }
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        return response;
    }

private:
    static void stop(HttpResponse& response, CURLcode code, bool connected, std::string detail)
    {
        const Stop stop = stopOf(code, connected);
        response.step = stop.step;
        response.failure = {stop.status, stop.status == Status::Ok ? std::string() : std::move(detail)};
    }

    CurlSetOption m_setOption;
};

} // namespace

std::unique_ptr<HttpClient> makeCurlHttpClient(CurlSetOption setOption)
{
    return std::make_unique<CurlHttpClient>(setOption);
}

std::unique_ptr<HttpClient> makePlatformHttpClient()
{
    return makeCurlHttpClient();
}

} // namespace talvex
