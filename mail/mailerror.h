#pragma once
// Base of every error the mail library raises. Errors carry the server's or the
// system's own text; the ui/ layer turns them into the user's messages.
#include <stdexcept>
#include <string>

namespace zp {

class MailError : public std::runtime_error {
public:
    explicit MailError(const std::string& what) : std::runtime_error(what) {}
};

} // namespace zp
