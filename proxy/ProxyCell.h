#pragma once

#include <array>
#include <cstdint>
#include <string>

class ProxyItem;

// A colour as red | green << 8 | blue << 16. The top byte marks the two special values.
using CellColour = uint32_t;
// Left at this value, the view draws the colour of the desktop's palette for the cell's state.
constexpr CellColour DefaultColour = 0xFF000000;
// No colour at all: text is drawn without filling behind it.
constexpr CellColour NoColour = 0xFFFFFFFF;

constexpr CellColour Rgb(uint8_t red, uint8_t green, uint8_t blue) {
    return CellColour(red) | CellColour(green) << 8 | CellColour(blue) << 16;
}
constexpr uint8_t RedOf(CellColour colour) {
    return uint8_t(colour);
}
constexpr uint8_t GreenOf(CellColour colour) {
    return uint8_t(colour >> 8);
}
constexpr uint8_t BlueOf(CellColour colour) {
    return uint8_t(colour >> 16);
}

constexpr CellColour GreyRowColour = Rgb(160, 160, 160);
constexpr CellColour GreenColour = Rgb(0, 150, 0);
constexpr CellColour BlueColour = Rgb(0, 0, 150);

// Drawing styles of a selected cell's image.
constexpr uint32_t BlendNone = 0;
constexpr uint32_t BlendHalf = 4;

// One cell of the list view as the frame describes it at paint time. The view resets it to these
// defaults, fills row, column, selected and hot, and asks the frame for the rest.
struct CellInfo {
    std::string m_text;
    std::string m_tip;
    bool m_plain = false; // never takes the look of a selected row
    int32_t m_image = -1; // status picture, -1 for none
    bool m_centreImage = false;
    bool m_keyMark = false; // the record has credentials: the view draws a key beside the text
    uint32_t m_blend = BlendHalf;
    CellColour m_textColour = DefaultColour;
    CellColour m_backgroundColour = DefaultColour;
    CellColour m_hotTextColour = DefaultColour;
    CellColour m_selectedTextColour = DefaultColour;
    CellColour m_selectedBackground = DefaultColour;
    CellColour m_selectedBackgroundUnfocused = DefaultColour;
    int32_t m_row = 0;
    int32_t m_column = 0;
    bool m_selected = false;
    bool m_hot = false;
};

// The proxy list's columns by index, whatever order the user drags them into.
enum ListColumnIndex : int32_t {
    ColumnStatus,
    ColumnProxy,
    ColumnPort,
    ColumnDelay,
    ColumnAnonymity,
    ColumnCountry,
    ColumnHttps,
    ColumnGateway,
    ColumnDanger,
    ColumnCodeen,
    ColumnCount
};

// Header text and initial width in pixels; every column is centred.
struct ListColumn {
    const char* m_header;
    int32_t m_width;
};

constexpr std::array<ListColumn, ColumnCount> ListColumns = {{
    {" ", 31},
    {"Proxy", 120},
    {"Port", 58},
    {"Delay", 66},
    {"Anonymity", 80},
    {"Country", 62},
    {"Https", 58},
    {"Gateway", 66},
    {"Danger", 62},
    {"CoDeeN", 62},
}};

// The status name shown in the first column's tip: "Unknown" ... "Bad", empty for other values.
std::string StatusName(int32_t status);

// Fills text, tip, image and colours of the cell at cell.m_column for the record. Each field is read
// once, so a worker writing it meanwhile gives the old or the new look, never a mix.
void FillProxyCell(const ProxyItem& item, CellInfo& cell);
