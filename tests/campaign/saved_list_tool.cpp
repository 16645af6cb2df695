// Makes and checks saved lists for the fault campaign:
//   saved_list_tool write FOLDER COUNT [newer|title|count|random]   a list of COUNT records, damaged as named
//   saved_list_tool check FOLDER                                     prints "N records", exit 1 unless whole
#include "settings/SavedList.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

namespace {

void Fill(ProxyList& list, size_t count) {
    list.Reserve(count);
    for (size_t i = 0; i < count; ++i) {
        auto item = std::make_unique<ProxyItem>();
        item->SetAddress("10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
                         std::to_string(i % 256) + ":" + std::to_string(80 + i % 9000));
        item->m_status = static_cast<int32_t>(i % 5);
        list.Append(std::move(item));
    }
    list.RenumberList();
}

// The header is the title (a length byte, then its letters), the version, the last-tested text (empty
// here: one length byte) and the record count.
bool Damage(std::string& bytes, const std::string& kind) {
    const size_t title = std::string(SavedList::ListTitle).size();
    const size_t version = 1 + title;
    const size_t count = version + 4 + 1;
    if (kind == "newer")
        bytes[version] = static_cast<char>(SavedList::VersionWithKinds + 1);
    else if (kind == "title")
        bytes[1] = static_cast<char>(bytes[1] ^ 0x20);
    else if (kind == "count")
        bytes.replace(count, 4, std::string(4, '\xff'));
    else if (kind == "random") {
        std::mt19937 random(7);
        bytes.assign(1 << 20, '\0');
        for (char& byte : bytes)
            byte = static_cast<char>(random());
    } else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    const std::string folder = argc > 2 ? std::string(argv[2]) + "/" : "";
    if (mode == "write" && argc >= 4) {
        ProxyList list;
        Fill(list, std::strtoul(argv[3], nullptr, 10));
        std::string bytes = SavedList::ToBytes(list, "");
        if (argc == 5 && !Damage(bytes, argv[4])) {
            std::fprintf(stderr, "saved_list_tool: no damage named %s\n", argv[4]);
            return 2;
        }
        std::ofstream(folder + SavedList::FileName, std::ios::binary) << bytes;
        return 0;
    }
    if (mode == "check") {
        ProxyList list;
        const SavedList::LoadResult result = SavedList::LoadList(folder, list);
        std::printf("%zu records%s\n", list.GetSize(), result.m_damage.empty() ? "" : (", " + result.m_damage).c_str());
        return result.m_loaded && result.m_damage.empty() ? 0 : 1;
    }
    std::fprintf(stderr, "usage: saved_list_tool write FOLDER COUNT [newer|title|count|random] | check FOLDER\n");
    return 2;
}
