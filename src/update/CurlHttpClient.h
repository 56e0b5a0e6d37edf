#pragma once

#include "update/HttpClient.h"

#include <curl/curl.h>

#include <memory>

namespace talvex {

/// How the client sets an option on its handle: curl_easy_setopt, or in
/// tests one that refuses options as an older libcurl would.
using CurlSetOption = CURLcode (*)(CURL*, CURLoption, ...);

std::unique_ptr<HttpClient> makeCurlHttpClient(CurlSetOption setOption = &curl_easy_setopt);

} // namespace talvex
