#include "proxy/ProxyCell.h"

#include "proxy/CountryTable.h"
#include "proxy/ProxyItem.h"

namespace {

struct Display {
    const char* text;
    const char* tip;
    CellColour colour = DefaultColour;
};

void Show(CellInfo& cell, const Display& display) {
    cell.m_text = display.text;
    cell.m_tip = display.tip;
    if (display.colour != DefaultColour)
        cell.m_textColour = display.colour;
}

const Display TimeoutShort = {"--", "Timeout"};

// The four yes/no results: https, gateway, danger and CoDeeN. Values not listed show nothing.
void ShowYesNo(CellInfo& cell, int32_t value, const Display& yes, const Display& no, bool timeoutShown) {
    if (value == 1)
        Show(cell, yes);
    else if (value == 0)
        Show(cell, no);
    else if (value == TimedOut && timeoutShown)
        Show(cell, TimeoutShort);
}

void ShowStatus(const ProxyItem& item, CellInfo& cell) {
    cell.m_centreImage = true;
    cell.m_plain = true;
    cell.m_blend = BlendNone;
    const int32_t status = item.m_status;
    const std::string name = StatusName(status);
    if (name.empty())
        return;
    cell.m_image = status;
    cell.m_tip = "# " + std::to_string(item.m_index + 1) + " - " + name;
}

void ShowDelay(int32_t delay, CellInfo& cell) {
    if (delay > 0) {
        cell.m_text = std::to_string(delay);
        cell.m_tip = cell.m_text + "ms";
    } else if (delay == TimedOut) {
        Show(cell, {"---", "Timeout"});
    }
}

void ShowAnonymity(int32_t level, CellInfo& cell) {
    switch (level) {
    case 1:
        Show(cell, {"Level 1", "High Anonymous (Elite)", GreenColour});
        break;
    case 2:
        Show(cell, {"Level 2", "Anonymous", BlueColour});
        break;
    case 3:
        Show(cell, {"Level 3", "Not Anonymous (Transparent)"});
        break;
    case TimedOut:
        Show(cell, {"---", "Timeout"});
        break;
    default:
        break;
    }
}

} // namespace

std::string StatusName(int32_t status) {
    static const char* const names[] = {"Unknown", "Active", "Ready", "Good", "Bad"};
    return status >= StatusUnknown && status <= StatusBad ? names[status] : "";
}

void FillProxyCell(const ProxyItem& item, CellInfo& cell) {
    const int32_t status = item.m_status;
    if (status == StatusUnknown || status == StatusBad)
        cell.m_textColour = GreyRowColour;

    switch (cell.m_column) {
    case ColumnStatus:
        ShowStatus(item, cell);
        break;
    case ColumnProxy:
        cell.m_text = std::string(ProxyKindPrefix(item.Kind())) + item.m_ip;
        cell.m_tip = item.UrlText(false);
        cell.m_keyMark = item.m_credentials != nullptr;
        break;
    case ColumnPort:
        cell.m_text = item.m_port;
        cell.m_tip = item.m_port;
        break;
    case ColumnDelay:
        ShowDelay(item.m_delay, cell);
        break;
    case ColumnAnonymity:
        ShowAnonymity(item.m_anonymity, cell);
        break;
    case ColumnCountry: {
        const int32_t country = item.m_country;
        cell.m_text = CountryTable::CountryCode(country);
        cell.m_tip = CountryTable::CountryName(country);
        break;
    }
    case ColumnHttps:
        ShowYesNo(cell, item.m_https, {"Yes", "Support Https", GreenColour}, {"No", "Not Support Https"}, true);
        break;
    case ColumnGateway:
        ShowYesNo(cell, item.m_gateway, {"Yes", "Gateway Proxy"}, {"No", "Not Gateway Proxy"}, true);
        break;
    case ColumnDanger:
        ShowYesNo(cell, item.m_danger, {"Yes", "FBI/Army IP"}, {"No", "Safe IP"}, false);
        break;
    case ColumnCodeen:
        ShowYesNo(cell, item.m_codeen, {"Yes", "A node of the CoDeeN CDN Network"},
                  {"No", "Not a node of the CoDeeN CDN Network"}, true);
        break;
    default:
        break;
    }
}
