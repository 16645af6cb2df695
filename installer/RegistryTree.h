#pragma once

#include <deque>
#include <map>
#include <string>

// The installer's copy of the string values under one key of the per-user extension registry. The key
// is a folder, a sub-key a sub-folder and a string value a small text file named after the value whose
// content is the data. Entry names are "sub-key part\value name"; values directly under the key have an
// empty sub-key part. Failures are thrown as std::runtime_error with the text to show.
class RegistryTree {
public:
    // root plays the registry's root, keyPath the key's path below it.
    RegistryTree(std::string root, std::string keyPath);
    virtual ~RegistryTree() = default;

    // Reads the string values directly under the key; a missing key is created (with what the map holds).
    virtual void Load();
    // Writes every entry back; each file is replaced atomically, and only when its data changes.
    virtual void Save();
    // Called first by Load.
    virtual void OnLoad() {}

    void Set(const std::string& name, const std::string& text);

    const std::map<std::string, std::string>& Entries() const { return m_entries; }
    const std::deque<std::string>& SubKeys() const { return m_subKeys; }
    std::string KeyFolder() const;

private:
    void WriteValue(const std::string& folder, const std::string& name, const std::string& text) const;

    std::string m_root;
    std::string m_keyPath;
    std::map<std::string, std::string> m_entries;
    std::deque<std::string> m_subKeys;
};
