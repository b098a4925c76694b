#include "profile.h"

#include "atomicfile.h"
#include "text/charescape.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zp {
namespace {

// Reading the file: the C runtime's descriptors on Windows, where the name is widened
// from UTF-8 and the file is opened in binary mode, so CR LF stays as it is.
#ifdef _WIN32
int openForReading(const std::string& path) {
    const std::wstring wide = fileio::wideFromUtf8(path);
    if (wide.empty()) {
        errno = EINVAL;
        return -1;
    }
    // Shares deletion, so that our own reading never stops a save of the file.
    return fileio::openForReading(wide);
}

bool isRegularFile(int fd) {
    struct _stat64 st {};
    return _fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

long long readSome(int fd, char* buffer, unsigned size) {
    return _read(fd, buffer, size);
}

void closeFile(int fd) {
    _close(fd);
}
#else
int openForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool isRegularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

ssize_t readSome(int fd, char* buffer, unsigned size) {
    return ::read(fd, buffer, size);
}

void closeFile(int fd) {
    ::close(fd);
}
#endif

constexpr std::string_view kLineEnd = "\r\n";

// First byte of a Shift-JIS double-byte character.
bool isLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length in bytes of the character that starts at `i`: 2 for a lead byte that has a
// second byte, else 1.
std::size_t charLength(std::string_view s, std::size_t i) {
    return isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Blanks are ASCII and no second byte of a double-byte character is a blank, so
// trimming byte by byte is safe.
std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The name as it is compared: ASCII letters folded to lower case, both bytes of a
// double-byte character kept as they are.
std::string foldName(std::string_view name) {
    name = trim(name);
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t len = charLength(name, i);
        char c = name[i];
        if (len == 1 && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        out += c;
        if (len == 2)
            out += name[i + 1];
        i += len;
    }
    return out;
}

// "[name]" with optional blanks around; the closing bracket is searched per character.
bool parseHeader(std::string_view line, std::string_view& name) {
    line = trim(line);
    if (line.empty() || line.front() != '[')
        return false;
    for (std::size_t i = 1; i < line.size(); i += charLength(line, i)) {
        if (line[i] == ']') {
            name = trim(line.substr(1, i - 1));
            return true;
        }
    }
    return false;
}

// "key=value"; a line starting with ";" is a comment. "=" is never the second byte of
// a double-byte character, so the first "=" byte ends the key.
bool parseKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';')
        return false;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trim(line.substr(0, eq));
    value = line.substr(eq + 1);
    return !key.empty();
}

// Cut at `maxBytes`, on a character boundary.
std::string decodeValue(std::string_view raw, std::size_t maxBytes) {
    std::string_view v = trim(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        v = v.substr(1, v.size() - 2);
    std::size_t end = 0;
    while (end < v.size()) {
        const std::size_t len = charLength(v, end);
        if (end + len > maxBytes)
            break;
        end += len;
    }
    return std::string(v.substr(0, end));
}

std::string encodeValue(std::string_view value) {
    std::string v(value);
    for (char& c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    const bool quote = !v.empty() && (isBlank(v.front()) || isBlank(v.back()) ||
                                      (v.size() >= 2 && v.front() == '"' && v.back() == '"'));
    return quote ? '"' + v + '"' : v;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool parseProfileInt(std::string_view text, int& value) {
    std::string_view s = trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return false;
    const std::uint64_t limit =
        base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t n = 0;
    for (char c : s) {
        const int d = base == 16 ? hexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0)
            return false;
        n = n * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (n > limit)
            return false;
    }
    // Two's complement in 32 bits: "$FFFFFFFF" is -1, "-2147483648" fits.
    std::uint32_t bits = static_cast<std::uint32_t>(n);
    if (negative)
        bits = 0u - bits;
    value = static_cast<std::int32_t>(bits);
    return true;
}

ProfileFile::ProfileFile(std::string path) : m_path(std::move(path)) {
    loadFromText({});
}

bool ProfileFile::load() {
    loadFromText({});
    m_loadFailed = false;
    m_error.clear();
    const int fd = openForReading(m_path);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        m_error = "cannot open " + m_path + ": " + std::strerror(errno);
        m_loadFailed = true;
        return false;
    }
    std::string data;
    bool ok = isRegularFile(fd);
    int err = ok ? 0 : (errno ? errno : EISDIR);
    char buffer[65536];
    while (ok) {
        const auto n = readSome(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = errno;
            ok = false;
        } else if (n == 0) {
            break;
        } else if (data.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
            err = EFBIG;
            ok = false;
        } else {
            data.append(buffer, static_cast<std::size_t>(n));
        }
    }
    closeFile(fd);
    if (!ok) {
        m_error = "cannot read " + m_path + ": " + std::strerror(err);
        m_loadFailed = true;
        return false;
    }
    loadFromText(data);
    return true;
}

void ProfileFile::loadFromText(std::string_view text) {
    m_sections.clear();
    m_sectionIndex.clear();
    m_sections.emplace_back();
    while (!text.empty()) {
        const auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        addLine(line);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    }
}

void ProfileFile::addLine(std::string_view raw) {
    std::string_view name;
    if (parseHeader(raw, name)) {
        m_sectionIndex.emplace(foldName(name), m_sections.size());
        m_sections.push_back(Section{std::string(raw), {}, {}, false});
        return;
    }
    Section& s = m_sections.back();
    std::string_view key, value;
    if (parseKeyLine(raw, key, value) && !s.keys.emplace(foldName(key), s.lines.size()).second)
        s.hasDuplicateKeys = true;
    s.lines.push_back(Line{std::string(raw)});
}

const ProfileFile::Line* ProfileFile::findLine(std::string_view section,
                                               std::string_view key) const {
    const auto si = m_sectionIndex.find(foldName(section));
    if (si == m_sectionIndex.end())
        return nullptr;
    const Section& s = m_sections[si->second];
    const auto ki = s.keys.find(foldName(key));
    return ki == s.keys.end() ? nullptr : &s.lines[ki->second];
}

ProfileFile::Section& ProfileFile::sectionFor(std::string_view section) {
    const std::string folded = foldName(section);
    const auto si = m_sectionIndex.find(folded);
    if (si != m_sectionIndex.end())
        return m_sections[si->second];
    m_sectionIndex.emplace(folded, m_sections.size());
    m_sections.push_back(Section{'[' + std::string(trim(section)) + ']', {}, {}, false});
    return m_sections.back();
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
    return readValue(section, key, def, kMaxValueBytes);
}

std::string ProfileFile::readValue(std::string_view section, std::string_view key,
                                   std::string_view def, std::size_t maxBytes) const {
    const Line* line = findLine(section, key);
    if (!line)
        return std::string(def);
    std::string_view k, value;
    parseKeyLine(line->raw, k, value);
    return decodeValue(value, maxBytes);
}

int ProfileFile::readInt(std::string_view section, std::string_view key, int def) const {
    int value = def;
    if (!findLine(section, key) || !parseProfileInt(readString(section, key, {}), value))
        return def;
    return value;
}

bool ProfileFile::readBool(std::string_view section, std::string_view key, bool def) const {
    return readInt(section, key, def ? 1 : 0) != 0;
}

bool ProfileFile::keyExists(std::string_view section, std::string_view key) const {
    return findLine(section, key) != nullptr;
}

void ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
    Section& s = sectionFor(section);
    const std::string folded = foldName(key);
    const auto ki = s.keys.find(folded);
    if (ki != s.keys.end()) {
        // Keep the key as the file spells it; only the value changes.
        std::string& raw = s.lines[ki->second].raw;
        std::string_view k, old;
        parseKeyLine(raw, k, old);
        raw = std::string(k) + '=' + encodeValue(value);
        return;
    }
    // After the section's last line that is not blank, so that a blank line
    // separating it from the next section stays where it is. Only blank lines follow
    // that place, so no key line moves.
    std::size_t at = s.lines.size();
    while (at > 0 && !s.lines[at - 1].deleted && trim(s.lines[at - 1].raw).empty())
        --at;
    s.lines.insert(s.lines.begin() + static_cast<std::ptrdiff_t>(at),
                   Line{std::string(trim(key)) + '=' + encodeValue(value)});
    s.keys.emplace(folded, at);
}

void ProfileFile::writeInt(std::string_view section, std::string_view key, int value) {
    writeString(section, key, std::to_string(value));
}

void ProfileFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

void ProfileFile::deleteKey(std::string_view section, std::string_view key) {
    const auto si = m_sectionIndex.find(foldName(section));
    if (si == m_sectionIndex.end())
        return;
    Section& s = m_sections[si->second];
    const auto ki = s.keys.find(foldName(key));
    if (ki == s.keys.end())
        return;
    // The line stays as a tombstone so that the positions of the others hold.
    const std::size_t at = ki->second;
    const std::string folded = ki->first;
    s.lines[at].deleted = true;
    s.keys.erase(ki);
    if (!s.hasDuplicateKeys)
        return;
    // A later line with the same key now becomes the one that is read, as after a reload.
    for (std::size_t i = at + 1; i < s.lines.size(); ++i) {
        std::string_view k, v;
        if (!s.lines[i].deleted && parseKeyLine(s.lines[i].raw, k, v) && foldName(k) == folded) {
            s.keys.emplace(folded, i);
            return;
        }
    }
}

std::string ProfileFile::text() const {
    std::string out;
    for (const Section& s : m_sections) {
        if (!s.header.empty()) {
            out += s.header;
            out += kLineEnd;
        }
        for (const Line& line : s.lines) {
            if (line.deleted)
                continue;
            out += line.raw;
            out += kLineEnd;
        }
    }
    return out;
}

bool ProfileFile::save() {
    if (m_loadFailed) {
        // m_error still tells why the file could not be read.
        return false;
    }
    return replaceFileAtomically(m_path, text(), m_error);
}

std::string ProfileFile::readText(std::string_view section, std::string_view key,
                                  std::string_view defUtf8) const {
    if (!keyExists(section, key))
        return std::string(defUtf8);
    // Read whole: an escape takes nine bytes where the character took one or two, so a line
    // the window accepted may pass the cap, and a cut would lose the end of what was typed and
    // could leave half an escape. The file's own size limit still bounds it.
    return fromSjisKeepingAll(readValue(section, key, {}, kMaxFileBytes));
}

void ProfileFile::writeText(std::string_view section, std::string_view key, std::string_view utf8) {
    writeString(section, key, toSjisKeepingAll(utf8));
}

} // namespace zp
