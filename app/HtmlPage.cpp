#include "app/HtmlPage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <vector>

namespace {

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}
bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == ':';
}

std::string LowerCopy(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

size_t FindNoCase(std::string_view text, std::string_view needle, size_t from) {
    auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(),
                          needle.begin(), needle.end(), [](char x, char y) { return Lower(x) == Lower(y); });
    return it == text.end() ? std::string_view::npos : static_cast<size_t>(it - text.begin());
}

bool IsVoidElement(std::string_view name) {
    static constexpr std::array<std::string_view, 14> voids = {
        "area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source", "track", "wbr"};
    return std::find(voids.begin(), voids.end(), name) != voids.end();
}

struct Tag {
    size_t begin = 0; // the '<'
    size_t end = 0;   // one past the '>'
    std::string name; // lower case
    bool closing = false;
    bool selfClosing = false;
    std::string_view attributes; // between the name and the '>'
};

// Walks the tags of a text in order. Comments, declarations and the raw text of script and style are skipped.
class TagScanner {
public:
    explicit TagScanner(std::string_view text) : m_text(text) {}

    void Seek(size_t pos) {
        m_pos = pos;
        m_rawEnd.clear();
    }

    std::optional<Tag> Next() {
        if (!m_rawEnd.empty()) {
            m_pos = FindNoCase(m_text, m_rawEnd, m_pos);
            m_rawEnd.clear();
        }
        while (m_pos < m_text.size()) {
            size_t lt = m_text.find('<', m_pos);
            if (lt == std::string_view::npos) {
                break;
            }
            std::string_view rest = m_text.substr(lt);
            if (rest.starts_with("<!--")) {
                size_t close = m_text.find("-->", lt + 4);
                m_pos = close == std::string_view::npos ? m_text.size() : close + 3;
                continue;
            }
            if (rest.starts_with("<!") || rest.starts_with("<?")) {
                size_t close = m_text.find('>', lt);
                m_pos = close == std::string_view::npos ? m_text.size() : close + 1;
                continue;
            }
            Tag tag;
            tag.begin = lt;
            size_t p = lt + 1;
            if (p < m_text.size() && m_text[p] == '/') {
                tag.closing = true;
                ++p;
            }
            size_t nameBegin = p;
            while (p < m_text.size() && IsNameChar(m_text[p])) {
                ++p;
            }
            if (p == nameBegin || !std::isalpha(static_cast<unsigned char>(m_text[nameBegin]))) {
                m_pos = lt + 1; // a lone '<' in text
                continue;
            }
            tag.name = LowerCopy(m_text.substr(nameBegin, p - nameBegin));
            size_t close = FindTagEnd(p);
            if (close == std::string_view::npos) {
                break;
            }
            tag.attributes = m_text.substr(p, close - p);
            size_t last = tag.attributes.find_last_not_of(" \t\r\n\f");
            tag.selfClosing = last != std::string_view::npos && tag.attributes[last] == '/';
            tag.end = close + 1;
            m_pos = tag.end;
            if (!tag.closing && (tag.name == "script" || tag.name == "style")) {
                m_rawEnd = "</" + tag.name;
            }
            return tag;
        }
        m_pos = m_text.size();
        return std::nullopt;
    }

private:
    // The '>' that ends the tag, skipping quoted attribute values.
    size_t FindTagEnd(size_t p) const {
        char quote = 0;
        for (; p < m_text.size(); ++p) {
            char c = m_text[p];
            if (quote != 0) {
                if (c == quote) {
                    quote = 0;
                }
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return p;
            }
        }
        return std::string_view::npos;
    }

    std::string_view m_text;
    size_t m_pos = 0;
    std::string m_rawEnd;
};

// The value of an attribute, as a view into `attributes`.
std::optional<std::string_view> Attribute(std::string_view attributes, std::string_view wanted) {
    size_t p = 0;
    const size_t n = attributes.size();
    while (p < n) {
        while (p < n && (IsSpace(attributes[p]) || attributes[p] == '/')) {
            ++p;
        }
        size_t nameBegin = p;
        while (p < n && !IsSpace(attributes[p]) && attributes[p] != '=' && attributes[p] != '/') {
            ++p;
        }
        std::string_view name = attributes.substr(nameBegin, p - nameBegin);
        while (p < n && IsSpace(attributes[p])) {
            ++p;
        }
        std::string_view value;
        if (p < n && attributes[p] == '=') {
            ++p;
            while (p < n && IsSpace(attributes[p])) {
                ++p;
            }
            if (p < n && (attributes[p] == '"' || attributes[p] == '\'')) {
                char quote = attributes[p++];
                size_t close = std::min(attributes.find(quote, p), n);
                value = attributes.substr(p, close - p);
                p = close + 1;
            } else {
                size_t valueBegin = p;
                while (p < n && !IsSpace(attributes[p])) {
                    ++p;
                }
                value = attributes.substr(valueBegin, p - valueBegin);
            }
        }
        if (!name.empty() && EqualNoCase(name, wanted)) {
            return value;
        }
    }
    return std::nullopt;
}

// The end tag that closes `start`, counting nested elements of the same name.
std::optional<Tag> MatchingEnd(TagScanner& scanner, const Tag& start) {
    int depth = 1;
    while (auto tag = scanner.Next()) {
        if (tag->name != start.name) {
            continue;
        }
        if (tag->closing) {
            if (--depth == 0) {
                return tag;
            }
        } else if (!tag->selfClosing) {
            ++depth;
        }
    }
    return std::nullopt;
}

bool FloatsLeft(const Tag& tag) {
    std::string style = LowerCopy(Attribute(tag.attributes, "style").value_or(""));
    std::erase_if(style, IsSpace);
    return tag.name == "div" && !tag.closing && style.find("float:left") != std::string::npos;
}

std::string Quoted(std::string_view name, std::string_view value) {
    // Appended piecewise: GCC 12 at -O3 warns falsely (-Wrestrict) on "literal" + std::string&&.
    std::string out = " ";
    out.append(name).append("=\"");
    for (char c : value) {
        out += c == '"' ? std::string("&quot;") : std::string(1, c);
    }
    return out + "\"";
}

std::string Joined(std::string_view a, std::string_view b, std::string_view separator) {
    std::string out(a);
    if (!a.empty() && !b.empty()) {
        out += separator;
    }
    return out.append(b);
}

// The look of the cell a float pair sits in, copied onto the two cells that replace the pair.
struct CellLook {
    std::string_view cls;
    std::string_view style;
};

std::string CellStartTag(const CellLook& cell, const Tag& div, bool right) {
    std::string out = "<td valign=\"middle\"";
    if (right) {
        out += " align=\"right\"";
        if (auto id = Attribute(div.attributes, "id")) {
            out += Quoted("id", *id);
        }
    }
    std::string cls = Joined(Attribute(div.attributes, "class").value_or(""), cell.cls, " ");
    std::string style =
        right ? Joined(cell.style, Attribute(div.attributes, "style").value_or(""), ";") : std::string(cell.style);
    if (!cls.empty()) {
        out += Quoted("class", cls);
    }
    if (!style.empty()) {
        out += Quoted("style", style);
    }
    return out + ">";
}

// Rich text knows "middle" but not "absmiddle" for an image's alignment.
std::string MiddleAlignedImages(const std::string& text) {
    std::string out;
    size_t copied = 0;
    TagScanner scanner(text);
    while (auto tag = scanner.Next()) {
        auto align = Attribute(tag->attributes, "align");
        if (tag->name != "img" || !align || !EqualNoCase(*align, "absmiddle")) {
            continue;
        }
        size_t at = static_cast<size_t>(align->data() - text.data());
        out += text.substr(copied, at - copied) + "middle";
        copied = at + align->size();
    }
    return out + text.substr(copied);
}

// The widths that the page's style gives cells by id ("#a, #b { width: 22%; }"). The view sizes cells only
// by their width attribute: without one a column follows its digits and moves when they change.
std::map<std::string, std::string> StyledCellWidths(std::string_view text) {
    std::map<std::string, std::string> widths;
    const size_t open = FindNoCase(text, "<style", 0);
    const size_t close = FindNoCase(text, "</style", open);
    if (open == std::string_view::npos || close == std::string_view::npos)
        return widths;
    std::string_view style = text.substr(open, close - open);
    for (size_t brace; (brace = style.find('{')) != std::string_view::npos;) {
        const size_t end = style.find('}', brace);
        if (end == std::string_view::npos)
            break;
        const std::string_view selectors = style.substr(0, brace);
        const std::string rule = LowerCopy(style.substr(brace + 1, end - brace - 1));
        style.remove_prefix(end + 1);
        size_t key = rule.find("width");
        while (key != std::string::npos && key > 0 && IsNameChar(rule[key - 1]))
            key = rule.find("width", key + 1);
        if (key == std::string::npos)
            continue;
        const size_t colon = rule.find(':', key);
        const size_t valueEnd = rule.find_first_of(";}", colon);
        if (colon == std::string::npos)
            continue;
        std::string value =
            rule.substr(colon + 1, valueEnd == std::string::npos ? std::string::npos : valueEnd - colon - 1);
        value.erase(std::remove_if(value.begin(), value.end(), IsSpace), value.end());
        // Only a plain length becomes an attribute: a number with "%" or "px".
        if (value.ends_with("px"))
            value.resize(value.size() - 2);
        const size_t digits = value.find_first_not_of("0123456789.");
        if (digits == 0 || (digits != std::string::npos && value.substr(digits) != "%"))
            continue;
        for (size_t hash = selectors.find('#'); hash != std::string_view::npos; hash = selectors.find('#', hash + 1)) {
            size_t nameEnd = hash + 1;
            while (nameEnd < selectors.size() && IsNameChar(selectors[nameEnd]))
                ++nameEnd;
            if (nameEnd > hash + 1 && !value.empty())
                widths[std::string(selectors.substr(hash + 1, nameEnd - hash - 1))] = value;
        }
    }
    return widths;
}

std::string CellWidthsFromStyle(const std::string& text) {
    const std::map<std::string, std::string> widths = StyledCellWidths(text);
    if (widths.empty())
        return text;
    std::string out;
    size_t copied = 0;
    TagScanner scanner(text);
    while (auto tag = scanner.Next()) {
        if ((tag->name != "td" && tag->name != "th") || tag->closing || Attribute(tag->attributes, "width"))
            continue;
        const auto id = Attribute(tag->attributes, "id");
        const auto width = id ? widths.find(std::string(*id)) : widths.end();
        if (width == widths.end())
            continue;
        const size_t at = tag->begin + 1 + tag->name.size();
        out += text.substr(copied, at - copied) + " width=\"" + width->second + "\"";
        copied = at;
    }
    return out + text.substr(copied);
}

// Each left-floating div and the div right after it become one row of two cells.
std::string SideBySide(const std::string& text) {
    std::string out;
    size_t copied = 0;
    CellLook cell;
    TagScanner scanner(text);
    while (auto tag = scanner.Next()) {
        if (tag->name == "td" && !tag->closing) {
            cell = {Attribute(tag->attributes, "class").value_or(""), Attribute(tag->attributes, "style").value_or("")};
        }
        if (!FloatsLeft(*tag)) {
            continue;
        }
        size_t afterLeft = tag->end;
        auto leftEnd = MatchingEnd(scanner, *tag);
        auto right = leftEnd ? scanner.Next() : std::nullopt;
        bool adjacent = right && right->name == "div" && !right->closing &&
                        text.find_first_not_of(" \t\r\n\f", leftEnd->end) == right->begin;
        auto rightEnd = adjacent ? MatchingEnd(scanner, *right) : std::nullopt;
        if (!rightEnd) {
            scanner.Seek(afterLeft); // not a pair: leave it as it is
            continue;
        }
        out += text.substr(copied, tag->begin - copied);
        out += "<table width=\"100%\" cellpadding=\"0\" cellspacing=\"0\"><tr>";
        out += CellStartTag(cell, *tag, false);
        out += text.substr(afterLeft, leftEnd->begin - afterLeft);
        out += "</td>" + CellStartTag(cell, *right, true);
        out += text.substr(right->end, rightEnd->begin - right->end);
        out += "</td></tr></table>";
        copied = rightEnd->end;
        scanner.Seek(copied);
    }
    return out + text.substr(copied);
}

// The text without the table row that holds the element with that id; unchanged when there is none.
std::string WithoutRowOf(const std::string& text, std::string_view id) {
    std::vector<Tag> rows; // the rows open at the scanner's place, innermost last
    TagScanner scanner(text);
    while (auto tag = scanner.Next()) {
        if (tag->name == "tr" && !tag->selfClosing) {
            if (!tag->closing)
                rows.push_back(*tag);
            else if (!rows.empty())
                rows.pop_back();
        }
        if (tag->closing || Attribute(tag->attributes, "id") != id)
            continue;
        if (rows.empty())
            break;
        const size_t rowBegin = rows.back().begin;
        const auto rowEnd = MatchingEnd(scanner, rows.back());
        if (!rowEnd)
            break;
        return text.substr(0, rowBegin) + text.substr(rowEnd->end);
    }
    return text;
}

} // namespace

std::optional<HtmlPage::Range> HtmlPage::FindInner(std::string_view id) const {
    TagScanner scanner(m_text);
    while (auto tag = scanner.Next()) {
        if (tag->closing || Attribute(tag->attributes, "id") != id) {
            continue;
        }
        if (tag->selfClosing || IsVoidElement(tag->name)) {
            return std::nullopt;
        }
        auto end = MatchingEnd(scanner, *tag);
        if (!end) {
            return std::nullopt;
        }
        return Range{tag->end, end->begin};
    }
    return std::nullopt;
}

bool HtmlPage::SetInnerHtml(std::string_view id, std::string_view html) {
    auto range = FindInner(id);
    if (!range) {
        return false;
    }
    m_text.replace(range->begin, range->end - range->begin, html);
    return true;
}

std::optional<std::string> HtmlPage::InnerHtml(std::string_view id) const {
    auto range = FindInner(id);
    if (!range) {
        return std::nullopt;
    }
    return m_text.substr(range->begin, range->end - range->begin);
}

std::string HtmlPage::DisplayText(std::string_view leftOutRow) const {
    return SideBySide(
        MiddleAlignedImages(CellWidthsFromStyle(leftOutRow.empty() ? m_text : WithoutRowOf(m_text, leftOutRow))));
}
