// HttpFetch: one HTTP request with Basic credentials, the credential dialog
// for challenges, and the answer's body collected in a CByteBuffer.
#pragma once

#include "notify/byte_buffer.h"
#include "notify/http_request.h"
#include "notify/internet_error.h"

#include <string>

// Returns only after status 200 with the whole body read into sink.
// Otherwise throws CInternetStatusException (other statuses; 0 when
// cancelled), CInternetException (library failures), CRequestException (a
// proxy name too long for the proxy text, an unknown verb) or std::bad_alloc.
// Every handle it opened is closed before it returns or throws.
void HttpFetch(const HttpRequestSpec& params, CByteBuffer& sink);

// "Authorization: Basic <base64 of user:password>\r\n", or the same header
// for the proxy ("Proxy-Authorization") when proxy is TRUE.
std::string BuildBasicAuthHeader(port::BOOL proxy, const char* user, const char* password);

// The credentials last typed into the credential dialog (for the proxy and
// for the server). Process-wide; offered to every later request whose own
// user name of that kind is not given.
extern std::string s_lastProxyUser;
extern std::string s_lastProxyPassword;
extern std::string s_lastServerUser;
extern std::string s_lastServerPassword;
