#pragma once

#include "proxy/PairBatch.h"
#include "proxy/ProxyKeySet.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Finds the pairs of a text that arrives piece by piece (standard input), exactly as ExtractPairs finds
// them in the whole text and in its order: a plain pair as soon as the text after it can no longer
// change it, the table pairs at the end, since in the whole text they follow every plain pair. It keeps
// the keys seen, the table pairs and a tail shorter than a pair, so that an endless input costs no more
// memory than its distinct pairs.
class PairStream {
public:
    explicit PairStream(std::function<void(std::string_view)> found);

    // The next piece of the text; the new plain pairs are handed on before it returns.
    void Feed(std::string_view piece);
    // The text has ended: the rest of the plain pairs, then the table pairs.
    void Finish();

private:
    // A plain match reads at most this many characters from its start: 21 of the pair and the one
    // after it that ends the port.
    static constexpr size_t PlainReach = 22;

    enum class Cell { None, Lead, Body, Trail };
    struct TablePair {
        char text[22];
        uint8_t addressLength;
        uint8_t portLength;
    };

    void ScanPlain(bool ended);
    void ScanTable(std::string_view piece);
    // One character of a table match's two cells: '>', blanks, an address or a port, blanks, '<'.
    void StepCell(char c);
    void BeginCell();
    bool CellComplete() const;
    void EndCell();

    ProxyKeySet m_seen;
    std::function<void(std::string_view)> m_found;
    PairBatch m_batch;
    // The text from where the plain pattern has still to look.
    std::string m_tail;

    // The table pattern: an address cell, then the first port cell after it.
    bool m_wantPort = false;
    Cell m_cell = Cell::None;
    char m_cellText[16] = {};
    uint8_t m_cellLength = 0;
    uint8_t m_dots = 0;
    uint8_t m_digits = 0; // of the group being read
    TablePair m_pending = {};
    // Each table pair once, in the order found; whether a plain pair shadows it is known at the end.
    ProxyKeySet m_tableSeen;
    std::vector<TablePair> m_tablePairs;
};
