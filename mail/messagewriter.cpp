#include "mail/messagewriter.h"

#include "fileio/fileio.h"
#include "mail/base64.h"
#include "mail/hostname.h"
#include "mail/jis.h"
#include "mail/mailerror.h"
#include "text/cp932.h"
#include "text/utf8.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>

namespace zp {

namespace {

bool isWhite(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool byteNeedsEncoding(unsigned char c, std::string_view specials) {
    return c <= 0x1F || c >= 0x7F || specials.find(static_cast<char>(c)) != std::string_view::npos;
}

bool wordNeedsEncoding(std::string_view word, std::string_view specials) {
    for (char c : word)
        if (byteNeedsEncoding(static_cast<unsigned char>(c), specials))
            return true;
    return false;
}

// A word with the white space in front of it.
struct Word {
    std::string_view space;
    std::string_view text;
};

std::vector<Word> splitWords(std::string_view s, std::string_view& trailing) {
    std::vector<Word> words;
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t spaceStart = i;
        while (i < s.size() && isWhite(s[i]))
            ++i;
        const std::size_t textStart = i;
        while (i < s.size() && !isWhite(s[i]))
            ++i;
        if (textStart == i) {
            trailing = s.substr(spaceStart);
            break;
        }
        words.push_back(
            {s.substr(spaceStart, textStart - spaceStart), s.substr(textStart, i - textStart)});
    }
    return words;
}

// The bytes of an ISO-2022-JP run cut into pieces of at most maxBytes that each hold whole
// characters and end in ASCII mode (RFC 2047 5: an encoded word holds whole characters;
// RFC 1468: a text ends in ASCII). A piece that starts inside a double-byte run re-opens it.
std::vector<std::string> splitIso2022jp(std::string_view run, std::size_t firstMax,
                                        std::size_t maxBytes) {
    static constexpr char kEsc = '\x1B';
    const std::string toAscii = "\x1B(B";
    std::string jisOpen = "\x1B$B";
    std::string asciiOpen = toAscii;
    std::vector<std::string> pieces;
    std::string piece;
    bool pieceInJis = false; // the mode at the end of piece
    bool jis = false;        // the mode of the text at this point
    std::size_t i = 0;
    while (i < run.size()) {
        // Mode changes are written only in front of the characters they apply to.
        if (run[i] == kEsc && i + 2 < run.size() && (run[i + 1] == '$' || run[i + 1] == '(')) {
            (run[i + 1] == '$' ? jisOpen : asciiOpen) = std::string(run.substr(i, 3));
            jis = run[i + 1] == '$';
            i += 3;
            continue;
        }
        const std::size_t width = jis && i + 1 < run.size() ? 2 : 1;
        const std::string_view ch = run.substr(i, width);
        i += width;
        auto addition = [&] {
            std::string a;
            if (jis && !pieceInJis)
                a = jisOpen;
            else if (!jis && pieceInJis)
                a = asciiOpen;
            return a.append(ch);
        };
        std::string a = addition();
        const std::size_t limit = pieces.empty() ? firstMax : maxBytes;
        if (!piece.empty() && piece.size() + a.size() + (jis ? toAscii.size() : 0) > limit) {
            if (pieceInJis)
                piece += toAscii;
            pieces.push_back(std::move(piece));
            piece.clear();
            pieceInJis = false;
            a = addition();
        }
        piece += a;
        pieceInJis = jis;
    }
    if (pieceInJis)
        piece += toAscii;
    if (!piece.empty())
        pieces.push_back(std::move(piece));
    if (pieces.empty()) // escape sequences alone: kept as they came
        pieces.emplace_back(run);
    return pieces;
}

// The bytes of a UTF-8 run cut into pieces of at most maxBytes, each holding whole grapheme
// clusters (RFC 2047 5: an encoded word holds whole characters; a reader that shows each word
// on its own then never splits a character from its marks). A cluster longer than a piece
// is cut between its characters.
std::vector<std::string> splitUtf8(std::string_view run, std::size_t firstMax,
                                   std::size_t maxBytes) {
    std::vector<std::string> pieces(1);
    auto add = [&](std::string_view bytes) {
        const std::size_t limit = pieces.size() == 1 ? firstMax : maxBytes;
        if (!pieces.back().empty() && pieces.back().size() + bytes.size() > limit)
            pieces.emplace_back();
        pieces.back() += bytes;
    };
    for (std::size_t pos = 0; pos < run.size();) {
        const std::size_t length = graphemeLength(run, pos);
        if (length <= maxBytes) {
            add(run.substr(pos, length));
        } else {
            for (std::size_t i = pos; i < pos + length;) {
                const std::size_t start = i;
                nextUtf8(run, i);
                add(run.substr(start, i - start));
            }
        }
        pos += length;
    }
    return pieces;
}

// Turns one run of bytes into encoded words of at most 75 characters, joined by CR LF TAB.
void appendEncodedRun(std::string& out, std::string_view run, std::string_view specials,
                      const MailCharset& cs, std::size_t column) {
    const std::string opening = "=?" + cs.charset + "?" + cs.encoding + "?";
    const std::size_t start = opening.size() + 2;
    std::size_t counter = start;
    out += opening;
    auto addPiece = [&](std::string_view piece) {
        if (counter + piece.size() > 75) {
            out += "?=\r\n\t";
            out += opening;
            counter = start;
        }
        out += piece;
        counter += piece.size();
    };
    if (cs.encoding == 'B' && (cs.charset == "ISO-2022-JP" || cs.charset == "UTF-8")) {
        const std::size_t maxBytes = (75 - start) / 4 * 3;
        // RFC 2047 2: a line holding an encoded word is at most 76 characters, so the
        // first word makes room for what stands before it on its line.
        std::size_t firstMax = maxBytes;
        if (column + start + 12 <= 76)
            firstMax = std::min(maxBytes, (76 - column - start) / 4 * 3);
        bool first = true;
        const std::vector<std::string> pieces = cs.charset == "UTF-8"
                                                    ? splitUtf8(run, firstMax, maxBytes)
                                                    : splitIso2022jp(run, firstMax, maxBytes);
        for (const std::string& piece : pieces) {
            if (!first) {
                out += "?=\r\n\t";
                out += opening;
            }
            out += base64Encode(piece);
            first = false;
        }
    } else if (cs.encoding == 'B') {
        for (std::size_t i = 0; i < run.size(); i += 3)
            addPiece(base64Encode(run.substr(i, 3)));
    } else {
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (char ch : run) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == ' ') {
                addPiece("_");
            } else if (byteNeedsEncoding(c, specials) || c == '?' || c == '=' || c == '_') {
                const char piece[3] = {'=', kHex[c >> 4], kHex[c & 15]};
                addPiece(std::string_view(piece, 3));
            } else {
                addPiece(std::string_view(&ch, 1));
            }
        }
    }
    out += "?=";
}

// The last path component, after the last "/" or "\"; a "\" that is the second byte of a
// Shift-JIS character (such as 表 or ソ) is no separator.
std::string lastPathComponent(std::string_view path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        if (c == '/') {
            start = i + 1;
        } else if (c == '\\') {
            // Only if this byte begins a character when read as Shift-JIS from the start
            // of the current component.
            bool isCharStart = true;
            for (std::size_t j = start; j < i; ++j) {
                if (isSjisLeadByte(static_cast<unsigned char>(path[j]))) {
                    if (j + 1 == i)
                        isCharStart = false;
                    ++j;
                }
            }
            if (isCharStart)
                start = i + 1;
        }
    }
    return std::string(path.substr(start));
}

} // namespace

MailCharset mailCharsetForLanguage(int primaryLanguage, int subLanguage) {
    switch (primaryLanguage) {
    case 0x04: // Chinese
        return subLanguage == 2 ? MailCharset{"GB2312", 'B', false}
                                : MailCharset{"Big5", 'B', false};
    case 0x11: // Japanese
        return {"ISO-2022-JP", 'B', true};
    case 0x12: // Korean
        return {"EUC-KR", 'B', false};
    default:
        return {"ISO-8859-1", 'Q', false};
    }
}

MailCharset mailCharsetForSystem() {
    return mailCharsetForLanguage(0x11, 1);
}

MailCharset utf8MailCharset() {
    return {"UTF-8", 'B', false};
}

MailCharset mailCharsetOf(const MailMessage& message) {
    return message.CharSet == "UTF-8" ? utf8MailCharset() : mailCharsetForSystem();
}

std::string encodeHeaderValue(std::string_view text, std::string_view specials,
                              const MailCharset& cs, std::size_t column) {
    std::string converted;
    if (cs.convertToJis) {
        converted = toIso2022jp(text);
        text = converted;
    }
    std::string_view trailing;
    const std::vector<Word> words = splitWords(text, trailing);
    std::string out;
    std::size_t i = 0;
    while (i < words.size()) {
        if (!wordNeedsEncoding(words[i].text, specials)) {
            out += words[i].space;
            out += words[i].text;
            ++i;
            continue;
        }
        // The run covers this word and the following ones that need encoding, with the
        // white space between them.
        out += words[i].space;
        const char* runBegin = words[i].text.data();
        std::size_t last = i;
        while (last + 1 < words.size() && wordNeedsEncoding(words[last + 1].text, specials))
            ++last;
        const char* runEnd = words[last].text.data() + words[last].text.size();
        // Only the first run is known to share the field name's line.
        const std::size_t runColumn = out.find('\n') == std::string::npos ? column + out.size() : 0;
        appendEncodedRun(out,
                         std::string_view(runBegin, static_cast<std::size_t>(runEnd - runBegin)),
                         specials, cs, runColumn);
        i = last + 1;
    }
    out += trailing;
    return out;
}

std::string encodeWholeText(std::string_view text, const MailCharset& cs, std::size_t column) {
    std::string converted;
    if (cs.convertToJis) {
        converted = toIso2022jp(text);
        text = converted;
    }
    std::string out;
    if (!text.empty())
        appendEncodedRun(out, text, {}, cs, column);
    return out;
}

std::string formatAddress(const MailAddressItem& item, std::size_t column, const MailCharset& cs) {
    if (item.Name.empty())
        return item.Address;
    const bool plain = std::none_of(item.Name.begin(), item.Name.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 || c > 0x7E;
    });
    std::string out;
    if (plain) {
        out += '"';
        for (char c : item.Name) {
            if (c == '\\' || c == '"')
                out += '\\';
            out += c;
        }
        out += '"';
    } else {
        out = encodeHeaderValue(item.Name, kRfc822Specials, cs, column);
    }
    return out + " <" + item.Address + ">";
}

std::string formatAddressList(const MailAddressList& list, const MailCharset& cs) {
    std::string out;
    for (const MailAddressItem& item : list) {
        if (!out.empty())
            out += ", ";
        out += formatAddress(item, 0, cs);
    }
    return out;
}

std::string internetDate(const std::tm& local, long utcOffsetSeconds) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long minutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[(local.tm_wday % 7 + 7) % 7], local.tm_mday,
                  kMonths[(local.tm_mon % 12 + 12) % 12], local.tm_year + 1900, local.tm_hour,
                  local.tm_min, local.tm_sec, utcOffsetSeconds < 0 ? '-' : '+', minutes / 60 % 100,
                  minutes % 60);
    return buf;
}

std::string internetDate(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    // No tm_gmtoff there: the offset is the local time read as if it were UTC, less t.
    if (localtime_s(&local, &t) != 0)
        throw TimeZoneInfoError();
    std::tm asUtc = local;
    const std::time_t shifted = _mkgmtime(&asUtc);
    if (shifted == static_cast<std::time_t>(-1))
        throw TimeZoneInfoError();
    return internetDate(local, static_cast<long>(shifted - t));
#else
    if (localtime_r(&t, &local) == nullptr)
        throw TimeZoneInfoError();
    return internetDate(local, local.tm_gmtoff);
#endif
}

namespace {

bool isAtext(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

bool isDotAtom(std::string_view s) {
    if (s.empty() || s.front() == '.' || s.back() == '.' || s.find("..") != std::string_view::npos)
        return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return c == '.' || isAtext(c); });
}

bool isDomainLiteral(std::string_view s) {
    if (s.size() < 3 || s.front() != '[' || s.back() != ']')
        return false;
    return std::all_of(s.begin() + 1, s.end() - 1, [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 33 && u <= 126 && c != '[' && c != ']' && c != '\\';
    });
}

// The sender's domain, else the machine's fully qualified name, else a name that is well
// formed at least: the right-hand side only keeps the left unique, it is never looked up.
std::string messageIdDomain(std::string_view senderAddress) {
    std::string domain = senderDomain(senderAddress);
    if (domain.empty())
        domain = fullyQualifiedHostName(kOwnNameWait);
    if (domain.empty())
        domain = "localhost.localdomain";
    return domain;
}

} // namespace

std::string senderDomain(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return {};
    const std::string_view domain = address.substr(at + 1);
    return isDotAtom(domain) || isDomainLiteral(domain) ? std::string(domain) : std::string();
}

std::string makeMessageId(std::string_view domain) {
    static std::mutex mutex;
    static std::mt19937_64 random = [] {
        std::random_device device;
        const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        std::seed_seq seed{device(), device(), static_cast<unsigned>(now),
                           static_cast<unsigned>(now >> 32)};
        return std::mt19937_64(seed);
    }();
    std::uint64_t bits;
    {
        std::lock_guard<std::mutex> lock(mutex);
        bits = random();
    }
    const std::time_t t = std::time(nullptr);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    char buf[64];
    std::snprintf(buf, sizeof buf, "<%04d%02d%02d%02d%02d%02d.%016llx@", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned long long>(bits));
    return buf + std::string(domain) + ">";
}

HeaderList GenerateHeader(const MailMessage& message) {
    const MailCharset cs = mailCharsetOf(message);
    HeaderList h;
    h.setValue("From", formatAddress(message.From, std::string_view("From: ").size(), cs));
    h.setValue("Subject",
               encodeHeaderValue(message.Subject, {}, cs, std::string_view("Subject: ").size()));
    h.setValue("To", formatAddressList(message.Recipients, cs));
    h.setValue("Cc", formatAddressList(message.CCList, cs));
    h.setValue("Content-Type", message.ContentType);
    if (message.CharSet == "UTF-8" && message.MessageParts.empty())
        h.setValue("Content-Transfer-Encoding", "base64");
    // Every message says it is MIME: RFC 2045 4 lets a reader ignore the Content-Type of
    // one that does not, and take an ISO-2022-JP body for US-ASCII.
    h.setValue("MIME-Version", "1.0");
    h.setValue("Reply-To", formatAddressList(message.ReplyTo, cs));
    h.setValue("Date", internetDate(message.UseNowForDate ? std::time(nullptr) : message.Date));
    // RFC 5322 3.6.4; large providers refuse or file as junk a message without one.
    h.setValue("Message-ID", makeMessageId(messageIdDomain(message.From.Address)));
    h.setValue("X-Priority", std::to_string(static_cast<int>(message.Priority) + 1));
    h.setValue("X-Library", "zoripost-mail 1.0");
    h.append(message.ExtraHeaders);
    return h;
}

namespace {

using EmitLine = std::function<void(std::string_view)>;

// Emits a line that the writer made itself; RFC 5321 4.5.2: a line starting with a dot is
// doubled, so that nothing the caller supplied can end the data early.
void emitGenerated(const EmitLine& emit, std::string_view line) {
    if (!line.empty() && line.front() == '.') {
        std::string stuffed = ".";
        stuffed += line;
        emit(stuffed);
    } else {
        emit(line);
    }
}

// Splits body lines that hold a CR or LF of their own, in the message itself.
void splitBodyLines(std::vector<std::string>& body) {
    std::vector<std::string> lines;
    lines.reserve(body.size());
    for (std::string& line : body) {
        std::size_t start = 0;
        for (;;) {
            const std::size_t end = line.find_first_of("\r\n", start);
            lines.push_back(line.substr(start, end - start));
            if (end == std::string::npos)
                break;
            start = end + (line.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        }
    }
    body = std::move(lines);
}

// Splits the body lines as above and doubles a leading dot, in the message itself.
void prepareBody(std::vector<std::string>& body) {
    splitBodyLines(body);
    for (std::string& line : body)
        if (!line.empty() && line.front() == '.')
            line.insert(0, 1, '.');
}

// A UTF-8 body as base64 lines of 76 characters: the text in its canonical form, every line
// ended by CR LF (RFC 2046 4.1.1). No encoded line begins with a dot, so nothing is stuffed.
void emitBase64Text(const std::vector<std::string>& lines, const EmitLine& emit) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    for (std::size_t i = 0; i < text.size(); i += 57)
        emit(base64Encode(std::string_view(text).substr(i, 57)));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string fileError(const std::string& what, const std::string& path, int err) {
    return what + " \"" + path + "\". " + std::strerror(err);
}

// Raised between two blocks once the cancel flag is set, as a cancelled wait is.
void stopWhenCancelled(const std::atomic<bool>* cancel) {
    if (cancel && cancel->load())
        throw AbortError("Operation canceled");
}

// Encodes the file in lines of 57 bytes into an unnamed temporary file that goes away when
// it is closed, so the encoded attachment is never held in memory as a whole. The file is
// read in blocks of 64 lines and the cancel flag looked at between them: a large file
// cannot keep a cancelled send going.
FilePtr stageBase64(const std::string& path, const std::atomic<bool>* cancel) {
    errno = 0;
    // The path's text is UTF-8 on Windows (a user folder's name may hold any character).
    std::ifstream in(fileio::pathFromText(path), std::ios::binary);
    if (!in)
        throw MailError(fileError("Cannot open file", path, errno != 0 ? errno : ENOENT));
    FilePtr staged(fileio::openScratchFile());
    if (!staged)
        throw MailError(fileError("Cannot create temporary file for", path, errno));
    constexpr std::size_t kLine = 57;
    char block[kLine * 64];
    std::string lines;
    for (;;) {
        stopWhenCancelled(cancel);
        in.read(block, sizeof block);
        const auto got = static_cast<std::size_t>(in.gcount());
        lines.clear();
        for (std::size_t at = 0; at < got; at += kLine) {
            base64Append(lines, std::string_view(block + at, std::min(kLine, got - at)));
            lines += "\r\n";
        }
        if (std::fwrite(lines.data(), 1, lines.size(), staged.get()) != lines.size())
            throw MailError(fileError("Cannot write temporary file for", path, errno));
        if (got < sizeof block)
            break;
    }
    if (in.bad())
        throw MailError(fileError("Cannot read file", path, errno != 0 ? errno : EIO));
    std::rewind(staged.get());
    return staged;
}

void emitStaged(std::FILE* staged, const EmitLine& emit, const std::atomic<bool>* cancel) {
    std::string line;
    char buf[32768];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, staged)) > 0) {
        stopWhenCancelled(cancel);
        for (std::size_t i = 0; i < got; ++i) {
            if (buf[i] == '\n') {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                emit(line);
                line.clear();
            } else {
                line += buf[i];
            }
        }
    }
}

void writeAttachment(Attachment& part, const EmitLine& emit, const MailCharset& cs,
                     const std::atomic<bool>* cancel) {
    if (part.ContentTransfer().empty())
        part.setContentTransfer("base64");
    if (part.ContentDisposition.empty())
        part.ContentDisposition = "attachment";
    if (part.ContentTransfer() == "base64" && part.ContentType().empty())
        part.setContentType("application/octet-stream");

    const FilePtr staged = stageBase64(part.FileName, cancel);
    // Without a UTF-8 name the path's last component goes out as its bytes are.
    const std::string pathName = lastPathComponent(part.FileName);
    const FileNameParameters names =
        part.Name.empty()
            ? FileNameParameters{{"name=\"" + pathName + "\""}, {"filename=\"" + pathName + "\""}}
            : fileNameParameters(part.Name, cs);
    emitGenerated(emit, "Content-Type: " + part.ContentType() + ";");
    for (const std::string& line : names.name)
        emit("        " + line);
    emitGenerated(emit, "Content-Transfer-Encoding: " + part.ContentTransfer());
    emitGenerated(emit, "Content-Disposition: " + part.ContentDisposition + ";");
    for (const std::string& line : names.filename)
        emit("        " + line);
    for (const std::string& line : part.ExtraHeaders.lines())
        emitGenerated(emit, line);
    emit("");
    emitStaged(staged.get(), emit, cancel);
    emit("");
}

} // namespace

void writeMessage(MailMessage& message, const EmitLine& emitLine, const std::atomic<bool>* cancel) {
    const MailCharset cs = mailCharsetOf(message);
    const bool utf8 = cs.charset == "UTF-8";
    const bool multipart = !message.MessageParts.empty();
    if (multipart)
        message.ContentType = "multipart/mixed; boundary=\"" + std::string(kMimeBoundary) + "\"";
    if (!message.CharSet.empty())
        message.ContentType += (utf8 ? "; charset=" : ";charset=") + message.CharSet;
    if (utf8)
        splitBodyLines(message.Body);
    else
        prepareBody(message.Body);

    const HeaderList header = GenerateHeader(message);
    for (const std::string& line : header.lines())
        emitGenerated(emitLine, line);
    emitLine("");

    if (!multipart) {
        if (utf8)
            emitBase64Text(message.Body, emitLine);
        else
            for (const std::string& line : message.Body)
                emitLine(cs.convertToJis ? toIso2022jp(line) : line);
        return;
    }
    const std::string delimiter = "--" + std::string(kMimeBoundary);
    emitLine("This is a multi-part message in MIME format");
    emitLine("");
    emitLine(delimiter);
    // The text part names its own charset: without it a reader takes the part as US-ASCII
    // and shows the ISO-2022-JP escape sequences instead of the Japanese text (RFC 2046 5.1).
    if (utf8) {
        emitLine("Content-Type: text/plain; charset=UTF-8");
        emitLine("Content-Transfer-Encoding: base64");
        emitLine("");
        emitBase64Text(message.Body, emitLine);
    } else {
        emitLine(message.CharSet.empty() ? std::string("Content-Type: text/plain")
                                         : "Content-Type: text/plain; charset=" + message.CharSet);
        emitLine("Content-Transfer-Encoding: 7bit");
        emitLine("");
        for (const std::string& line : message.Body)
            emitLine(line);
    }
    for (Attachment& part : message.MessageParts) {
        emitLine("");
        emitLine(delimiter);
        writeAttachment(part, emitLine, cs, cancel);
    }
    emitLine(delimiter + "--");
}

} // namespace zp
