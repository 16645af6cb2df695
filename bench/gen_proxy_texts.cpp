// Writes the parser benchmark's three inputs, always the same bytes for the same arguments:
//   plain FILE   1,000,000 lines "a.b.c.d:port some words"
//   table FILE   a page of 500,000 table rows, address cell then port cell
//   noport FILE  about 1 MB of table rows whose ports are written by a script
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A fixed linear congruential generator: the files must not change between runs or machines.
struct Lcg {
    uint64_t m_state = 0x2545F4914F6CDD1DULL;
    uint32_t Next(uint32_t bound) {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>((m_state >> 33) % bound);
    }
};

const char* const Words[] = {"anonymous", "elite", "transparent", "fastest", "checked", "proxies", "online", "working"};

void AppendAddress(std::string& out, Lcg& rng) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%u.%u.%u.%u", 1 + rng.Next(254), rng.Next(256), rng.Next(256),
                  1 + rng.Next(254));
    out += buffer;
}

void AppendPort(std::string& out, Lcg& rng) {
    static const unsigned Common[] = {80, 3128, 8080, 8000, 1080, 8888};
    const unsigned port = rng.Next(2) ? Common[rng.Next(6)] : 10 + rng.Next(65526);
    out += std::to_string(port);
}

std::string Plain(Lcg& rng) {
    std::string out;
    for (int line = 0; line < 1000000; ++line) {
        AppendAddress(out, rng);
        out += ':';
        AppendPort(out, rng);
        out += ' ';
        out += Words[rng.Next(8)];
        out += ' ';
        out += Words[rng.Next(8)];
        out += '\n';
    }
    return out;
}

std::string Table(Lcg& rng) {
    std::string out = "<html><head><title>Proxy list</title></head><body>\n<table class=\"list\">\n";
    for (int row = 0; row < 500000; ++row) {
        out += "<tr><td>";
        AppendAddress(out, rng);
        out += "</td>\n<td>";
        AppendPort(out, rng);
        out += "</td>\n";
    }
    return out + "</table></body></html>\n";
}

std::string NoPort(Lcg& rng) {
    std::string out = "<html><head><title>Proxy list</title></head><body>\n<table class=\"list\">\n";
    while (out.size() < 1000000) {
        out += "<tr><td>";
        AppendAddress(out, rng);
        out += "</td><td><script>p(0x";
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", 10 + rng.Next(65526));
        out += hex;
        out += ")</script></td></tr>\n";
    }
    return out + "</table></body></html>\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gen_proxy_texts plain|table|noport FILE\n");
        return 2;
    }
    Lcg rng;
    std::string text;
    if (std::strcmp(argv[1], "plain") == 0)
        text = Plain(rng);
    else if (std::strcmp(argv[1], "table") == 0)
        text = Table(rng);
    else if (std::strcmp(argv[1], "noport") == 0)
        text = NoPort(rng);
    else {
        std::fprintf(stderr, "gen_proxy_texts: unknown kind '%s'\n", argv[1]);
        return 2;
    }
    FILE* file = std::fopen(argv[2], "wb");
    if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fclose(file) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
