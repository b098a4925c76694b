#pragma once
// The ports and protection of the mail servers, kept by the send operation and edited by
// the server-security dialog; only hand-edited or chosen values go back to the file.
#include <QString>

namespace zp {

class ProfileFile;

// [smtp] port and [pop3] port of the settings file, 25 and 110 when the file has none
// (then they are not written back either). Beside them [smtp] security and [pop3]
// security (0 none, 1 STARTTLS/STLS, 2 TLS from the start; 0 when missing) and
// [smtp] cafile, certificates trusted besides the system's for both servers.
struct MailPorts {
    int smtp = 25;
    int pop3 = 110;
    bool smtpInFile = false;
    bool pop3InFile = false;
    int smtpSecurity = 0;
    int pop3Security = 0;
    bool smtpSecurityInFile = false;
    bool pop3SecurityInFile = false;
    QString caFile;
};

// A port outside 1..65535 or a security outside 0..2 counts as missing.
MailPorts readMailPorts(const ProfileFile& file);
void writeMailPorts(ProfileFile& file, const MailPorts& ports);

} // namespace zp
