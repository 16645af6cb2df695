#pragma once

#include <stop_token>
#include <string>

// The parts of an "http://" URL: the first 7 characters are taken as the scheme unseen, the host
// is what stands before the first '/', the path the rest ("/" when there is none), and a port
// written after the host (":8080") is split off; 80 otherwise.
struct HttpUrl {
    std::string host;     // as written, with its port: what the Host header carries
    std::string hostName; // without the port
    std::string port = "80";
    std::string path = "/";
};
HttpUrl SplitHttpUrl(const std::string& url);

// GET of an "http://" URL without any proxy: the whole raw reply, or the empty text on any failure.
// Connecting and every wait for data are limited to timeoutSeconds; a stop ends them at once (but not
// the resolution of a host name, which the system bounds).
std::string HttpGetDirect(const std::string& url, int timeoutSeconds, std::stop_token stop = {});
