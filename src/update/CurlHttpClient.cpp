#include "update/HttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>

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

HttpOutcome outcomeOf(CURLcode code, CURL* curl, const Transfer& transfer)
{
    switch (code) {
    case CURLE_OK: return HttpOutcome::Received;
    case CURLE_WRITE_ERROR: return transfer.full ? HttpOutcome::Received : HttpOutcome::Failed;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return HttpOutcome::NotResolved;
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND: return HttpOutcome::ConnectFailed;
    case CURLE_OPERATION_TIMEDOUT: {
        curl_off_t connected = 0;
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
        return connected > 0 ? HttpOutcome::TimedOut : HttpOutcome::ConnectFailed;
    }
    case CURLE_SEND_ERROR: return HttpOutcome::NotSent;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE: return HttpOutcome::NoReply;
    default: return HttpOutcome::Failed;
    }
}

class CurlHttpClient final : public HttpClient {
public:
    HttpResponse get(const HttpRequest& request) override
    {
        HttpResponse response;
        if (!startCurl()) {
            response.outcome = HttpOutcome::NotStarted;
            response.error = "libcurl did not start";
            return response;
        }
        CURL* curl = curl_easy_init();
        if (curl == nullptr) {
            response.outcome = HttpOutcome::NotStarted;
            response.error = "libcurl did not start";
            return response;
        }
        Transfer transfer;
        transfer.request = &request;
        char error[CURL_ERROR_SIZE] = {};
        // The request as the tool always sent it: no Accept, no keep-alive.
        curl_slist* headers = curl_slist_append(nullptr, "Accept:");
        headers = curl_slist_append(headers, "Connection: close");

        curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
        // Empty turns off curl's own reading of the environment.
        curl_easy_setopt(curl, CURLOPT_PROXY, request.proxy.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
        // No SIGALRM for the name look-up: the windows' thread must not be interrupted.
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                         static_cast<long>((request.connectTimeout + request.receiveTimeout).count()));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keepBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, openSocket);
        curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);

        const CURLcode code = curl_easy_perform(curl);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        response.status = static_cast<int>(status);
        response.outcome = outcomeOf(code, curl, transfer);
        response.body = std::move(transfer.body);
        if (response.outcome != HttpOutcome::Received)
            response.error = error[0] != '\0' ? error : curl_easy_strerror(code);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
        return response;
    }
};

} // namespace

std::unique_ptr<HttpClient> makePlatformHttpClient()
{
    return std::make_unique<CurlHttpClient>();
}

} // namespace talvex
