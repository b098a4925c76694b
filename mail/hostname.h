#pragma once
// The name this machine gives of itself to a mail server and in Message-IDs.
#include "mail/socket.h"

#include <chrono>
#include <string>
#include <string_view>

namespace zp {

// True for a syntactically fully qualified domain name: at least two dot-separated labels
// of letters, digits and hyphens (1 to 63 each, no hyphen at either end), 253 characters at
// most, a last label that is not all digits (so no dotted address passes), one trailing dot
// allowed.
bool isFullyQualifiedName(std::string_view name);

// How long the resolver may take for the machine's own name. Its answer comes from the hosts
// file or a near server; one that takes longer is not waited for.
inline constexpr std::chrono::milliseconds kOwnNameWait{3000};

// The host's fully qualified name: the system's host name when it is one, else the
// canonical name the resolver gives for it (the hosts file's "127.0.1.1 vm.example.org vm").
// Empty when neither is fully qualified or the lookup takes longer than limit.
std::string fullyQualifiedHostName(Timeout limit);

// RFC 5321 4.1.3 address literal: "[192.0.2.1]", "[IPv6:2001:db8::1]"; an IPv4 address
// mapped into IPv6 is given in its IPv4 form. Empty for another address family.
std::string addressLiteral(const ResolvedAddress& address);

// RFC 5321 4.1.4: the client names itself by its fully qualified name or, lacking one, by
// the address literal of its end of the connection. Servers that check the name
// (reject_non_fqdn_helo_hostname and the like) refuse a bare host name such as "vm".
std::string greetingName(std::string_view candidate, const ResolvedAddress& localAddress);

} // namespace zp
