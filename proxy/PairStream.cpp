#include "proxy/PairStream.h"

#include "proxy/ProxyKey.h"
#include "proxy/ProxyPatterns.h"

#include <cstring>
#include <utility>

namespace {

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

PairStream::PairStream(std::function<void(std::string_view)> found)
    : m_found(std::move(found)), m_batch(m_seen, m_found) {}

void PairStream::Feed(std::string_view piece) {
    m_tail.append(piece);
    ScanPlain(false);
    ScanTable(piece);
    m_batch.Flush();
}

void PairStream::Finish() {
    ScanPlain(true);
    for (const TablePair& pair : m_tablePairs) {
        const std::string_view text(pair.text, pair.addressLength + 1 + pair.portLength);
        m_batch.Add(text.substr(0, pair.addressLength), ':', text.substr(pair.addressLength + 1));
    }
    m_tablePairs.clear();
    m_batch.Flush();
}

void PairStream::ScanPlain(bool ended) {
    size_t at = 0;
    ProxyPatterns::Match match;
    while (ProxyPatterns::FindPlain(m_tail, at, match)) {
        // A match that starts too near the end may still grow, or give way to one that starts earlier.
        const auto start = static_cast<size_t>(match.address.data() - m_tail.data());
        if (!ended && start + PlainReach > m_tail.size())
            break;
        m_batch.Add(match.address, match.separator, match.port);
        at = match.end;
    }
    // Every start before the last few characters has been decided.
    const size_t undecided = m_tail.size() > PlainReach - 1 ? m_tail.size() - (PlainReach - 1) : 0;
    m_tail.erase(0, ended ? m_tail.size() : std::max(at, undecided));
}

void PairStream::ScanTable(std::string_view piece) {
    for (size_t i = 0; i < piece.size(); ++i) {
        if (m_cell == Cell::None) {
            // Only a '>' can start a cell: skip to the next one.
            const void* gt = std::memchr(piece.data() + i, '>', piece.size() - i);
            if (gt == nullptr)
                return;
            i = static_cast<size_t>(static_cast<const char*>(gt) - piece.data());
        }
        StepCell(piece[i]);
    }
}

void PairStream::StepCell(char c) {
    switch (m_cell) {
    case Cell::None:
        if (c == '>')
            BeginCell();
        return;
    case Cell::Lead:
        if (IsBlank(c))
            return;
        if (IsDigit(c)) {
            m_cellText[m_cellLength++] = c;
            m_digits = 1;
            m_cell = Cell::Body;
            return;
        }
        break;
    case Cell::Body:
        if (IsDigit(c) && m_digits < (m_wantPort ? 5 : 3)) {
            m_cellText[m_cellLength++] = c;
            ++m_digits;
            return;
        }
        if (c == '.' && !m_wantPort && m_dots < 3) {
            m_cellText[m_cellLength++] = c;
            ++m_dots;
            m_digits = 0;
            return;
        }
        if (IsBlank(c) && CellComplete()) {
            m_cell = Cell::Trail;
            return;
        }
        if (c == '<' && CellComplete()) {
            EndCell();
            return;
        }
        break;
    case Cell::Trail:
        if (IsBlank(c))
            return;
        if (c == '<') {
            EndCell();
            return;
        }
        break;
    }
    // The cell failed at c; none of the characters it took is a '>', so the next cell can only start here.
    m_cell = Cell::None;
    if (c == '>')
        BeginCell();
}

void PairStream::BeginCell() {
    m_cell = Cell::Lead;
    m_cellLength = 0;
    m_dots = 0;
    m_digits = 0;
}

bool PairStream::CellComplete() const {
    return m_wantPort ? m_digits >= 2 : m_dots == 3 && m_digits >= 1;
}

void PairStream::EndCell() {
    m_cell = Cell::None;
    if (!m_wantPort) {
        std::memcpy(m_pending.text, m_cellText, m_cellLength);
        m_pending.addressLength = m_cellLength;
        m_wantPort = true;
        return;
    }
    m_wantPort = false;
    m_pending.text[m_pending.addressLength] = ':';
    std::memcpy(m_pending.text + m_pending.addressLength + 1, m_cellText, m_cellLength);
    m_pending.portLength = m_cellLength;
    const std::string_view text(m_pending.text, m_pending.addressLength + 1 + m_cellLength);
    if (m_tableSeen.Insert(ProxyKey(text)))
        m_tablePairs.push_back(m_pending);
}
