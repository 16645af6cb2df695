#include "proxy/CountryTable.h"

#include <array>
#include <utility>

namespace CountryTable {

namespace {

struct Country {
    const char* code;
    const char* name;
};

// Ordered by English name; codes withdrawn later keep their rows.
constexpr std::array<Country, CountryCount> Countries = {{
    {"AF", "Afghanistan"},
    {"AL", "Albania"},
    {"DZ", "Algeria"},
    {"AS", "American Samoa"},
    {"AD", "Andorra"},
    {"AO", "Angola"},
    {"AI", "Anguilla"},
    {"AQ", "Antarctica"},
    {"AG", "Antigua and Barbuda"},
    {"AR", "Argentina"},
    {"AM", "Armenia"},
    {"AW", "Aruba"},
    {"AU", "Australia"},
    {"AT", "Austria"},
    {"AZ", "Azerbaijan"},
    {"BS", "Bahamas"},
    {"BH", "Bahrain"},
    {"BD", "Bangladesh"},
    {"BB", "Barbados"},
    {"BY", "Belarus"},
    {"BE", "Belgium"},
    {"BZ", "Belize"},
    {"BJ", "Benin"},
    {"BM", "Bermuda"},
    {"BT", "Bhutan"},
    {"BO", "Bolivia"},
    {"BA", "Bosnia and Herzegowina"},
    {"BW", "Botswana"},
    {"BV", "Bouvet Island"},
    {"BR", "Brazil"},
    {"IO", "British Indian Ocean Territory"},
    {"BN", "Brunei Darussalam"},
    {"BG", "Bulgaria"},
    {"BF", "Burkina Faso"},
    {"BI", "Burundi"},
    {"KH", "Cambodia"},
    {"CM", "Cameroon"},
    {"CA", "Canada"},
    {"CV", "Cape Verde"},
    {"KY", "Cayman Islands"},
    {"CF", "Central African Republic"},
    {"TD", "Chad"},
    {"CL", "Chile"},
    {"CN", "China"},
    {"CX", "Christmas Island"},
    {"CC", "Cocos (Keeling) Islands"},
    {"CO", "Colombia"},
    {"KM", "Comoros"},
    {"CG", "Congo"},
    {"CK", "Cook Islands"},
    {"CR", "Costa Rica"},
    {"CI", "Cote D'ivoire"},
    {"HR", "Croatia (Local Name Hrvatska)"},
    {"CU", "Cuba"},
    {"CY", "Cyprus"},
    {"CZ", "Czech Republic"},
    {"DK", "Denmark"},
    {"DJ", "Djibouti"},
    {"DM", "Dominica"},
    {"DO", "Dominican Republic"},
    {"TP", "East Timor"},
    {"EC", "Ecuador"},
    {"EG", "Egypt"},
    {"SV", "El Salvador"},
    {"GQ", "Equatorial Guinea"},
    {"ER", "Eritrea"},
    {"EE", "Estonia"},
    {"ET", "Ethiopia"},
    {"FK", "Falkland Islands (Malvinas)"},
    {"FO", "Faroe Islands"},
    {"FJ", "Fiji"},
    {"FI", "Finland"},
    {"FR", "France"},
    {"FX", "France, Metropolitan"},
    {"GF", "French Guiana"},
    {"PF", "French Polynesia"},
    {"TF", "French Southern Territories"},
    {"GA", "Gabon"},
    {"GM", "Gambia"},
    {"GE", "Georgia"},
    {"DE", "Germany"},
    {"GH", "Ghana"},
    {"GI", "Gibraltar"},
    {"GR", "Greece"},
    {"GL", "Greenland"},
    {"GD", "Grenada"},
    {"GP", "Guadeloupe"},
    {"GU", "Guam"},
    {"GT", "Guatemala"},
    {"GN", "Guinea"},
    {"GW", "Guinea-bissau"},
    {"GY", "Guyana"},
    {"HT", "Haiti"},
    {"HM", "Heard and Mc Donald Islands"},
    {"HN", "Honduras"},
    {"HK", "Hong Kong"},
    {"HU", "Hungary"},
    {"IS", "Iceland"},
    {"IN", "India"},
    {"ID", "Indonesia"},
    {"IR", "Iran (Islamic Republic Of)"},
    {"IQ", "Iraq"},
    {"IE", "Ireland"},
    {"IL", "Israel"},
    {"IT", "Italy"},
    {"JM", "Jamaica"},
    {"JP", "Japan"},
    {"JO", "Jordan"},
    {"KZ", "Kazakhstan"},
    {"KE", "Kenya"},
    {"KI", "Kiribati"},
    {"KP", "Korea, Democratic People's Republic Of"},
    {"KR", "Korea, Republic Of"},
    {"KW", "Kuwait"},
    {"KG", "Kyrgyzstan"},
    {"LA", "Lao People's Democratic Republic"},
    {"LV", "Latvia"},
    {"LB", "Lebanon"},
    {"LS", "Lesotho"},
    {"LR", "Liberia"},
    {"LY", "Libyan Arab Jamahiriya"},
    {"LI", "Liechtenstein"},
    {"LT", "Lithuania"},
    {"LU", "Luxembourg"},
    {"MO", "Macau"},
    {"MK", "Macedonia, The Former Yugoslav Republic Of"},
    {"MG", "Madagascar"},
    {"MW", "Malawi"},
    {"MY", "Malaysia"},
    {"MV", "Maldives"},
    {"ML", "Mali"},
    {"MT", "Malta"},
    {"MH", "Marshall Islands"},
    {"MQ", "Martinique"},
    {"MR", "Mauritania"},
    {"MU", "Mauritius"},
    {"YT", "Mayotte"},
    {"MX", "Mexico"},
    {"FM", "Micronesia, Federated States Of"},
    {"MD", "Moldova, Republic Of"},
    {"MC", "Monaco"},
    {"MN", "Mongolia"},
    {"MS", "Montserrat"},
    {"MA", "Morocco"},
    {"MZ", "Mozambique"},
    {"MM", "Myanmar"},
    {"NA", "Namibia"},
    {"NR", "Nauru"},
    {"NP", "Nepal"},
    {"NL", "Netherlands"},
    {"AN", "Netherlands Antilles"},
    {"NC", "New Caledonia"},
    {"NZ", "New Zealand"},
    {"NI", "Nicaragua"},
    {"NE", "Niger"},
    {"NG", "Nigeria"},
    {"NU", "Niue"},
    {"NF", "Norfolk Island"},
    {"MP", "Northern Mariana Islands"},
    {"NO", "Norway"},
    {"OM", "Oman"},
    {"PK", "Pakistan"},
    {"PW", "Palau"},
    {"PA", "Panama"},
    {"PG", "Papua New Guinea"},
    {"PY", "Paraguay"},
    {"PE", "Peru"},
    {"PH", "Philippines"},
    {"PN", "Pitcairn"},
    {"PL", "Poland"},
    {"PT", "Portugal"},
    {"PR", "Puerto Rico"},
    {"QA", "Qatar"},
    {"RE", "Reunion"},
    {"RO", "Romania"},
    {"RU", "Russian Federation"},
    {"RW", "Rwanda"},
    {"KN", "Saint Kitts and Nevis"},
    {"LC", "Saint Lucia"},
    {"VC", "Saint Vincent and The Grenadines"},
    {"WS", "Samoa"},
    {"SM", "San Marino"},
    {"ST", "Sao Tome and Principe"},
    {"SA", "Saudi Arabia"},
    {"SN", "Senegal"},
    {"SC", "Seychelles"},
    {"SL", "Sierra Leone"},
    {"SG", "Singapore"},
    {"SK", "Slovakia (Slovak Republic)"},
    {"SI", "Slovenia"},
    {"SB", "Solomon Islands"},
    {"SO", "Somalia"},
    {"ZA", "South Africa"},
    {"GS", "South Georgia and The South Sandwich Islands"},
    {"ES", "Spain"},
    {"LK", "Sri Lanka"},
    {"SH", "St. Helena"},
    {"PM", "St. Pierre and Miquelon"},
    {"SD", "Sudan"},
    {"SR", "Suriname"},
    {"SJ", "Svalbard and Jan Mayen Islands"},
    {"SZ", "Swaziland"},
    {"SE", "Sweden"},
    {"CH", "Switzerland"},
    {"SY", "Syrian Arab Republic"},
    {"TW", "Taiwan, Province Of China"},
    {"TJ", "Tajikistan"},
    {"TZ", "Tanzania, United Republic Of"},
    {"TH", "Thailand"},
    {"TG", "Togo"},
    {"TK", "Tokelau"},
    {"TO", "Tonga"},
    {"TT", "Trinidad and Tobago"},
    {"TN", "Tunisia"},
    {"TR", "Turkey"},
    {"TM", "Turkmenistan"},
    {"TC", "Turks and Caicos Islands"},
    {"TV", "Tuvalu"},
    {"UG", "Uganda"},
    {"UA", "Ukraine"},
    {"AE", "United Arab Emirates"},
    {"GB", "United Kingdom"},
    {"US", "United States"},
    {"UM", "United States Minor Outlying Islands"},
    {"UY", "Uruguay"},
    {"UZ", "Uzbekistan"},
    {"VU", "Vanuatu"},
    {"VA", "Vatican City State (Holy See)"},
    {"VE", "Venezuela"},
    {"VN", "Viet Nam"},
    {"VG", "Virgin Islands (British)"},
    {"VI", "Virgin Islands (U.S.)"},
    {"WF", "Wallis and Futuna Islands"},
    {"EH", "Western Sahara"},
    {"YE", "Yemen"},
    {"YU", "Yugoslavia"},
    {"ZR", "Zaire"},
    {"ZM", "Zambia"},
    {"ZW", "Zimbabwe"},
}};

// Codes newer than the table, each with the code whose country it split from or renamed. UK is
// the reserved alias of GB and CS the short-lived successor of YU; both still occur in databases.
constexpr std::pair<const char*, const char*> Successors[] = {
    {"TL", "TP"}, {"RS", "YU"}, {"ME", "YU"}, {"CS", "YU"}, {"CD", "ZR"},
    {"CW", "AN"}, {"SX", "AN"}, {"BQ", "AN"}, {"UK", "GB"},
};

constexpr size_t LetterPairs = 26 * 26;

// The position of a code of two capital letters among all such pairs, or LetterPairs.
size_t PairOf(std::string_view code) {
    const auto letter = [](char c) { return c >= 'A' && c <= 'Z'; };
    if (code.size() != 2 || !letter(code[0]) || !letter(code[1]))
        return LetterPairs;
    return static_cast<size_t>(code[0] - 'A') * 26 + static_cast<size_t>(code[1] - 'A');
}

// Every code's row, successors included, looked up once per proxy of a run: built once.
std::array<int16_t, LetterPairs> BuildRows() {
    std::array<int16_t, LetterPairs> rows;
    rows.fill(-1);
    for (size_t i = 0; i < Countries.size(); ++i)
        if (const size_t pair = PairOf(Countries[i].code); pair < LetterPairs)
            rows[pair] = static_cast<int16_t>(i);
    for (const auto& [newer, older] : Successors)
        rows[PairOf(newer)] = rows[PairOf(older)];
    return rows;
}

bool InTable(int32_t index) {
    return index >= 0 && index < CountryCount;
}

} // namespace

std::string CountryCode(int32_t index) {
    if (InTable(index))
        return Countries[static_cast<size_t>(index)].code;
    return index == -1 ? "--" : "";
}

int32_t IndexOfCode(std::string_view code) {
    static const std::array<int16_t, LetterPairs> rows = BuildRows();
    const size_t pair = PairOf(code);
    return pair == LetterPairs ? -1 : rows[pair];
}

std::string CountryName(int32_t index) {
    if (InTable(index))
        return Countries[static_cast<size_t>(index)].name;
    return index == -1 ? "unknown" : "";
}

} // namespace CountryTable
