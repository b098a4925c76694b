#include "mail/hostname.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

namespace zp {

namespace {

bool isLabelChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool isAllDigits(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The canonical-name lookup shares this with the waiting caller; a caller that gives up
// lets the lookup finish on its own.
struct CanonicalLookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::string name;
};

void runCanonicalLookup(const std::shared_ptr<CanonicalLookup>& lookup, const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* result = nullptr;
    std::string name;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result) {
        if (result->ai_canonname)
            name = result->ai_canonname;
        freeaddrinfo(result);
    }
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->name = std::move(name);
    lookup->finished = true;
    lookup->done.notify_all();
}

std::string withoutTrailingDot(std::string_view name) {
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    return std::string(name);
}

} // namespace

bool isFullyQualifiedName(std::string_view name) {
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    if (name.empty() || name.size() > 253)
        return false;
    std::size_t labels = 0;
    std::string_view last;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('.', start), name.size());
        const std::string_view label = name.substr(start, end - start);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-' ||
            !std::all_of(label.begin(), label.end(), isLabelChar))
            return false;
        ++labels;
        last = label;
        start = end + 1;
    }
    return labels >= 2 && !isAllDigits(last);
}

std::string fullyQualifiedHostName(Timeout limit) {
    const std::string host = localHostName(); // also starts the socket library where needed
    if (isFullyQualifiedName(host))
        return withoutTrailingDot(host);
    if (host.empty() || hasLineBreakOrNul(host))
        return {};
    auto lookup = std::make_shared<CanonicalLookup>();
    std::thread worker([lookup, host] { runCanonicalLookup(lookup, host); });
    bool finished;
    {
        std::unique_lock<std::mutex> lock(lookup->mutex);
        finished = lookup->done.wait_for(lock, limit, [&] { return lookup->finished; });
    }
    if (!finished) {
        worker.detach();
        return {};
    }
    worker.join();
    return isFullyQualifiedName(lookup->name) ? withoutTrailingDot(lookup->name) : std::string();
}

std::string addressLiteral(const ResolvedAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.addr.ss_family == AF_INET) {
        sockaddr_in v4{};
        std::memcpy(&v4, &address.addr, sizeof v4);
        if (!inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text))
            return {};
        return "[" + std::string(text) + "]";
    }
    if (address.addr.ss_family == AF_INET6) {
        sockaddr_in6 v6{};
        std::memcpy(&v6, &address.addr, sizeof v6);
        const unsigned char* b = v6.sin6_addr.s6_addr;
        static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (std::memcmp(b, kMapped, sizeof kMapped) == 0) {
            return "[" + std::to_string(b[12]) + "." + std::to_string(b[13]) + "." +
                   std::to_string(b[14]) + "." + std::to_string(b[15]) + "]";
        }
        if (!inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text))
            return {};
        return "[IPv6:" + std::string(text) + "]";
    }
    return {};
}

std::string greetingName(std::string_view candidate, const ResolvedAddress& localAddress) {
    if (isFullyQualifiedName(candidate))
        return withoutTrailingDot(candidate);
    const std::string literal = addressLiteral(localAddress);
    if (!literal.empty())
        return literal;
    // Without a local address there is nothing better than the name as it is.
    return candidate.empty() ? std::string("localhost") : std::string(candidate);
}

} // namespace zp
