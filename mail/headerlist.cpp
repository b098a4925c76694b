#include "mail/headerlist.h"

#include "mail/jis.h"

#include <algorithm>

namespace zp {

namespace {

bool isWsp(char c) {
    return c == ' ' || c == '\t';
}
bool isWspOrLineEnd(char c) {
    return isWsp(c) || c == '\r' || c == '\n';
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lx = static_cast<char>(x >= 'A' && x <= 'Z' ? x + 32 : x);
               const auto ly = static_cast<char>(y >= 'A' && y <= 'Z' ? y + 32 : y);
               return lx == ly;
           });
}

bool isContinuation(const std::string& line) {
    return !line.empty() && isWsp(line.front());
}

bool hasTextBetween(std::string_view s, std::size_t from, std::size_t to) {
    return from < to &&
           std::any_of(s.begin() + from, s.begin() + to, [](char c) { return !isWsp(c); });
}

// Keeps folds (CR LF before white space) and turns every other CR or LF into a space.
std::string withoutBareLineBreaks(std::string_view line) {
    std::string out(line);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\r' && i + 2 < out.size() && out[i + 1] == '\n' && isWsp(out[i + 2])) {
            i += 2;
        } else if (out[i] == '\r' || out[i] == '\n') {
            out[i] = ' ';
        }
    }
    return out;
}

// Cuts folded text into physical lines at CR LF, without trailing white space and without
// lines that would come out empty.
std::vector<std::string> physicalLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view piece = text.substr(start, end - start);
        while (!piece.empty() && isWsp(piece.back()))
            piece.remove_suffix(1);
        if (!piece.empty())
            lines.emplace_back(piece);
        start = end + 2;
    }
    return lines;
}

} // namespace

std::vector<std::string> foldHeaderLine(std::string_view line, std::size_t limit) {
    std::string out;
    // The field name and the first word of its value stay on one line: some readers drop a
    // field whose first line holds the name alone.
    const std::size_t colon = line.find(':');
    const std::size_t valueStart = colon == std::string_view::npos ? 0 : colon + 1;
    std::size_t pieceStart = 0;
    std::size_t breakPoint = std::string_view::npos;
    bool quoted = false;
    std::size_t i = 0;
    while (i < line.size()) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (!quoted && c == '\r' && i + 2 < line.size() && line[i + 1] == '\n' &&
            isWsp(line[i + 2])) {
            // A fold that is there already ends the piece as it stands.
            i += 2;
            out.append(line.substr(pieceStart, i - pieceStart));
            pieceStart = i;
            breakPoint = std::string_view::npos;
            continue;
        }
        std::size_t len = 1;
        if (isSjisLeadByte(c) && i + 1 < line.size())
            len = 2; // a double-byte character is never split
        else if (c == '"')
            quoted = !quoted;
        else if (quoted && c == '\\' && i + 1 < line.size())
            len = 2; // quoted-pair
        else if (!quoted && isWsp(line[i]) &&
                 hasTextBetween(line, pieceStart == 0 ? valueStart : pieceStart, i))
            breakPoint = i;
        i += len;
        if (quoted || breakPoint == std::string_view::npos || i - pieceStart < limit)
            continue;
        std::size_t rest = i;
        while (rest < line.size() && isWspOrLineEnd(line[rest]))
            ++rest;
        if (line.size() - rest <= 1)
            continue; // nothing worth a line of its own is left
        out.append(line.substr(pieceStart, breakPoint + 1 - pieceStart));
        out += "\r\n ";
        pieceStart = breakPoint + 1;
        breakPoint = std::string_view::npos;
    }
    out.append(line.substr(pieceStart));
    return physicalLines(out);
}

std::size_t HeaderList::find(std::string_view name) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const std::string& line = m_lines[i];
        if (isContinuation(line))
            continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos &&
            equalsIgnoreCase(std::string_view(line).substr(0, colon), name))
            return i;
    }
    return std::string::npos;
}

std::size_t HeaderList::endOf(std::size_t first) const {
    std::size_t end = first + 1;
    while (end < m_lines.size() && isContinuation(m_lines[end]))
        ++end;
    return end;
}

std::string HeaderList::value(std::string_view name) const {
    const std::size_t first = find(name);
    if (first == std::string::npos)
        return {};
    const std::string& line = m_lines[first];
    std::string value = line.substr(line.find(':') + 1);
    value.erase(0, std::min(value.size(), value.find_first_not_of(" \t")));
    for (std::size_t i = first + 1; i < endOf(first); ++i) {
        const std::string& more = m_lines[i];
        if (!value.empty())
            value += ' ';
        value += more.substr(more.find_first_not_of(" \t"));
    }
    return value;
}

bool HeaderList::contains(std::string_view name) const {
    return find(name) != std::string::npos;
}

void HeaderList::setValue(std::string_view name, std::string_view value) {
    const std::size_t first = find(name);
    std::vector<std::string> folded;
    if (!value.empty()) {
        std::string line(name);
        line += ": ";
        line += value;
        folded = foldHeaderLine(withoutBareLineBreaks(line));
    }
    if (first == std::string::npos) {
        m_lines.insert(m_lines.end(), folded.begin(), folded.end());
        return;
    }
    const std::size_t end = endOf(first);
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(first),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(end));
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(first), folded.begin(),
                   folded.end());
}

void HeaderList::addLine(std::string_view line) {
    for (std::string& physical : foldHeaderLine(withoutBareLineBreaks(line)))
        m_lines.push_back(std::move(physical));
}

void HeaderList::append(const HeaderList& other) {
    m_lines.insert(m_lines.end(), other.m_lines.begin(), other.m_lines.end());
}

} // namespace zp
