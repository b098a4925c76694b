#include "mailports.h"

#include "platform/textcodec.h"
#include "settings/profile.h"

namespace zp {

// Chosen in the server-security dialog, or written by hand; a key that is missing or out of
// range counts as not in the file, and is then not written back either.
MailPorts readMailPorts(const ProfileFile& file) {
    MailPorts ports;
    auto read = [&](const char* section, int& port, bool& inFile) {
        const int value = file.readInt(section, "port", 0);
        inFile = value >= 1 && value <= 65535;
        if (inFile)
            port = value;
    };
    read("smtp", ports.smtp, ports.smtpInFile);
    read("pop3", ports.pop3, ports.pop3InFile);
    auto readSecurity = [&](const char* section, int& security, bool& inFile) {
        const int value = file.readInt(section, "security", -1);
        inFile = value >= 0 && value <= 2;
        security = inFile ? value : 0;
    };
    readSecurity("smtp", ports.smtpSecurity, ports.smtpSecurityInFile);
    readSecurity("pop3", ports.pop3Security, ports.pop3SecurityInFile);
    ports.caFile = fromSjis(file.readString("smtp", "cafile", ""));
    return ports;
}

void writeMailPorts(ProfileFile& file, const MailPorts& ports) {
    if (ports.smtpInFile)
        file.writeInt("smtp", "port", ports.smtp);
    if (ports.pop3InFile)
        file.writeInt("pop3", "port", ports.pop3);
    if (ports.smtpSecurityInFile)
        file.writeInt("smtp", "security", ports.smtpSecurity);
    if (ports.pop3SecurityInFile)
        file.writeInt("pop3", "security", ports.pop3Security);
    // An emptied box means no file of the user's: the key goes, so the old one cannot come
    // back at the next start.
    if (ports.caFile.isEmpty())
        file.deleteKey("smtp", "cafile");
    else
        file.writeString("smtp", "cafile", toSjis(ports.caFile));
}

} // namespace zp
