#pragma once
// Helpers of the mail text tests: UTF-8 literals to Shift-JIS through glibc's iconv (Windows's
// own code page conversion there), running
// the independent decoders (Node, Debian's Python) on bytes we wrote, hex dumps.
#include "support/command.h"
#include "support/files.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zp::test {

#ifdef _WIN32
// Converts between UTF-8 and CP932 with the system's converter; throws when the text does not
// convert (no default characters).
inline std::string iconvText(const std::string& text, const char* to, const char* from) {
    const auto page = [](const std::string& name) {
        if (name == "UTF-8")
            return UINT(CP_UTF8);
        if (name == "CP932")
            return UINT(932);
        throw std::runtime_error("no code page for " + name);
    };
    const UINT fromPage = page(from), toPage = page(to);
    if (text.empty())
        return {};
    const int n = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(fromPage, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
    std::wstring w(static_cast<std::size_t>(wide), L'\0');
    if (wide == 0 || MultiByteToWideChar(fromPage, MB_ERR_INVALID_CHARS, text.data(), n, w.data(), wide) == 0)
        throw std::runtime_error("the text is not valid in its code page");
    BOOL lost = FALSE;
    BOOL* lostFlag = toPage == CP_UTF8 ? nullptr : &lost;
    const int size = WideCharToMultiByte(toPage, 0, w.data(), wide, nullptr, 0, nullptr, lostFlag);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(toPage, 0, w.data(), wide, out.data(), size, nullptr, lostFlag);
    if (size == 0 || lost)
        throw std::runtime_error("the text does not convert");
    return out;
}
#else
// Converts between encodings with iconv(3); throws when the text does not convert.
inline std::string iconvText(const std::string& text, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv_open ") + from + " -> " + to);
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1))
        throw std::runtime_error("iconv cannot convert the text");
    out.resize(out.size() - outLeft);
    return out;
}
#endif

// A UTF-8 literal as the program's Shift-JIS (code page 932) bytes.
inline std::string sjis(const std::string& utf8) {
    return iconvText(utf8, "CP932", "UTF-8");
}

// A body text's lines as the message keeps them: split at each CR LF, the last line kept even
// when empty.
inline std::vector<std::string> bodyLines(const std::string& body) {
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = body.find("\r\n", start);
        lines.push_back(body.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos)
            return lines;
        start = end + 2;
    }
}

inline std::string hex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (!out.empty())
            out += ' ';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

inline std::string bytesOf(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

// Runs a shell command with stdin from a file; gives its standard output and fails the test
// when it exits with a non-zero status.
inline std::string runWithInput(const std::string& command, const std::string& stdinPath) {
    const CommandRun r = runShell(command + " < " + shellQuote(stdinPath));
    EXPECT_EQ(r.status, 0) << command << "\n" << r.output;
    return r.output;
}

// Node's TextDecoder('iso-2022-jp') on bytes: mode "text" decodes them as they are, "header"
// first joins the RFC 2047 encoded words of a header value, "nfkc" normalises UTF-8 input.
inline std::string nodeDecode(const std::string& bytes, const std::string& mode = "text") {
    TempDir dir;
    const std::string in = dir.file("in.bin");
    writeText(in, bytes);
    return runWithInput(std::string("node '") + ZP_TEST_SCRIPTS + "/jis_decode.js' " + mode, in);
}

// Reads "field<TAB>value" lines (a value's line breaks, tabs and backslashes escaped).
inline std::map<std::string, std::string> parseFields(const std::string& out) {
    std::map<std::string, std::string> fields;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');
        std::string value;
        for (std::size_t i = tab + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char c = line[++i];
                value += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
            } else {
                value += line[i];
            }
        }
        fields[line.substr(0, tab)] = value;
    }
    return fields;
}

// Runs one of the Python scripts that print a stored message as field lines and returns
// the fields.
inline std::map<std::string, std::string> pythonFields(const std::string& script,
                                                       const std::string& messagePath) {
    return parseFields(runWithInput(std::string(ZP_SYSTEM_PYTHON) + " '" + ZP_TEST_SCRIPTS + "/" +
                                        script + "' '" + messagePath + "'",
                                    "/dev/null"));
}

// The fields of a message as the writer sent its lines and a server stores them
// (dot-stuffing undone, CR LF line ends), read by a Python script or by mail_decode.js.
inline std::map<std::string, std::string>
pythonFieldsOfLines(const std::string& script, const std::vector<std::string>& lines) {
    TempDir dir;
    std::string text;
    for (const std::string& line : lines)
        text += (line.rfind("..", 0) == 0 ? line.substr(1) : line) + "\r\n";
    writeText(dir.file("mail.eml"), text);
    if (script == "mail_decode.js")
        return parseFields(runWithInput("node '" + std::string(ZP_TEST_SCRIPTS) +
                                            "/mail_decode.js' '" + dir.file("mail.eml") + "'",
                                        "/dev/null"));
    return pythonFields(script, dir.file("mail.eml"));
}

inline std::string lowerHex(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

// What Python's modern policy read from a Japanese message (the fields of strict_read.py):
// no defects, one Message-ID and MIME-Version, and every text back as it was sent.
inline void expectReadExactly(const std::map<std::string, std::string>& f,
                              const std::string& subject, const std::string& fromAddr,
                              const std::string& fromName, const std::string& bodyCrLf,
                              const std::string* attachment,
                              const std::string& charset = "iso-2022-jp") {
    EXPECT_EQ(f.at("defects"), "");
    EXPECT_EQ(f.at("message_id_count"), "1");
    EXPECT_EQ(f.at("mime_version_count"), "1");
    EXPECT_EQ(f.at("mime_version"), "1.0");
    EXPECT_EQ(f.at("subject"), subject);
    EXPECT_EQ(f.at("from_addr"), fromAddr);
    EXPECT_EQ(f.at("from_name"), fromName);
    EXPECT_EQ(f.at("charset"), charset);
    std::string expectedBody = bodyCrLf;
    for (std::size_t at; (at = expectedBody.find("\r\n")) != std::string::npos;)
        expectedBody.replace(at, 2, "\n");
    EXPECT_EQ(f.at("body"), expectedBody + "\n");
    if (attachment) {
        EXPECT_EQ(f.at("attachment_hex"), lowerHex(*attachment));
    }
}

} // namespace zp::test
