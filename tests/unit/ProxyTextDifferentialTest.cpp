// The parser runs RE2; Boost.Regex in Perl syntax is the reference for which pairs the patterns
// find and in which order, the lazy gap of the table pattern included.
#include "proxy/PairStream.h"
#include "proxy/ProxyTextParser.h"
#include "tests/support/BoostProxyPairs.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::vector<std::string> Parsed(const std::string& text) {
    std::vector<std::string> pairs;
    ProxyTextParser::ExtractPairs(text, [&](std::string_view pair) { pairs.emplace_back(pair); });
    return pairs;
}

class Generator {
public:
    explicit Generator(uint64_t seed) : m_state(seed) {}

    // A mix of what proxy pages are made of: addresses of odd lengths, separators, cells, digit runs.
    std::string Text() {
        std::string text;
        const uint32_t tokens = Next(60);
        for (uint32_t i = 0; i < tokens; ++i)
            AppendToken(text);
        return text;
    }

private:
    uint32_t Next(uint32_t bound) {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>((m_state >> 33) % bound);
    }

    std::string Digits(uint32_t most) {
        std::string digits;
        for (uint32_t n = 1 + Next(most); n > 0; --n)
            digits += static_cast<char>('0' + Next(10));
        return digits;
    }

    std::string Octet() { return Digits(Next(8) == 0 ? 4 : 3); }
    std::string Address() { return Octet() + "." + Octet() + "." + Octet() + "." + Octet(); }

    void AppendToken(std::string& text) {
        static const char* const Pieces[] = {" ",  ":",    ".",     "<",    ">",     "\n",      "\t", "\v",
                                             "\r", "<td>", "</td>", "<tr>", "x",     "\xff",    "  ", "> ",
                                             " <", "<!--", "-->",   "\0",   "<td> ", " </td>\n"};
        switch (Next(8)) {
        case 0:
        case 1:
            text += Address();
            break;
        case 2:
            text += Address() + (Next(2) ? ":" : " ") + Digits(6);
            break;
        case 3:
            text += "<td>" + Address() + "</td>";
            break;
        case 4:
            text += Next(2) ? Digits(7) : "<td>" + Digits(6) + "</td>";
            break;
        default: {
            const size_t piece = Next(sizeof Pieces / sizeof Pieces[0]);
            text.append(Pieces[piece], Pieces[piece][0] == '\0' ? 1 : std::strlen(Pieces[piece]));
        }
        }
    }

    uint64_t m_state;
};

} // namespace

TEST(ProxyTextDifferential, AgreesWithBoostOnGeneratedTexts) {
    Generator generator(20260611);
    int compared = 0;
    int withPairs = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string text = generator.Text();
        const auto expected = BoostProxyPairs(text);
        if (!expected)
            continue;
        ++compared;
        withPairs += !expected->empty();
        ASSERT_EQ(Parsed(text), *expected) << "text: " << ::testing::PrintToString(text);
    }
    EXPECT_GT(compared, 19000);
    EXPECT_GT(withPairs, 5000);
}

// Standard input is parsed as it arrives: cut anywhere, a text gives exactly the whole text's pairs.
TEST(ProxyTextDifferential, TextFedInPiecesGivesTheWholeTextsPairs) {
    Generator generator(20261208);
    uint64_t cut = 1;
    for (int i = 0; i < 5000; ++i) {
        const std::string text = generator.Text() + generator.Text();
        std::vector<std::string> streamed;
        PairStream stream([&](std::string_view pair) { streamed.emplace_back(pair); });
        for (size_t at = 0; at < text.size();) {
            cut = cut * 6364136223846793005ULL + 1442695040888963407ULL;
            const size_t size = 1 + (cut >> 33) % (i % 2 ? 5 : 40);
            stream.Feed(std::string_view(text).substr(at, size));
            at += size;
        }
        stream.Finish();
        ASSERT_EQ(streamed, Parsed(text)) << "text: " << ::testing::PrintToString(text);
    }
}

TEST(ProxyTextDifferential, AgreesWithBoostOnHandPickedTexts) {
    for (const std::string text : {
             "1.2.3.4:8080 5.6.7.8 3128",
             "11.22.33.44.55:666",
             "1.2.3.4 5.6.7.8:80",
             "1.2.3.4.5.6.7.8 9",
             "<td>1.2.3.4</td><td>8080</td><td>5.6.7.8</td><td>12</td>",
             "<td>1.2.3.4</td><td>5.6.7.8</td><td>12</td><td>13</td>",
             "> 1.2.3.4 <> 12 <> 5.6.7.8<>99<",
             "<a>1.2.3.4<>123456<>12<",
             ">1.2.3.4<\n\n>1.2.3.4:80<>99<",
             "1.2.3.4:123456.7.8.9:80 .1.2.3.4:80 1.2.3.4.:80 1.2.3.4 :80 9999.1.1.1:80",
             "1.2.3.4:8 9.9.9.9:99 1.2.3.4 80:90 1.2.3.4:5.6.7.8:90 1.2.3.4:5",
             "1.2.3.4.5.6.7.8.9.10:11 1.2.3.4..5.6.7.8:99 1.22.333.4444:80",
             ">1.2.3.4.5<>80< > 1.2.3.4 <>  80  < >>1.2.3.4<>81< >1.2.3.4><>82<",
             "<td>1.2.3.4</td><td>n/a</td>",
             "<td>1.2.3.4</td><td>80</td>>5.6.7.8<",
             // Runs of digits and dots longer than the plain scan's window, and ones ending with the text.
             "1.2.3.4.5.6.7.8.9.10.11.12:80 123456789012345678901234.5.6.7:8080 9.9.9.9:123456789.1.1.1:99",
             "1.2.3..........................4.5.6.7 99 1.2.3.4.5.6.7.8.9.1.2.3.4.5.6:7",
             "x1.2.3.4:80",
         })
        EXPECT_EQ(Parsed(text), *BoostProxyPairs(text)) << text;
}
