#pragma once
// The virtual jig's configuration: the --sim string of keys "key=value,key=value,...".
// A bare word is a preset ("demo"); later keys override earlier ones.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qj::sim {

class SimConfig {
public:
    SimConfig() = default;
    // Throws std::invalid_argument on malformed keys, an unknown preset, an
    // unknown key or a value its key does not accept (the message names the key).
    explicit SimConfig(const std::string& keys);

    bool has(const std::string& key) const { return kv_.count(key) != 0; }
    std::string str(const std::string& key, const std::string& def = {}) const;
    // Integers accept decimal or 0x hex; throws std::invalid_argument when malformed.
    int64_t num(const std::string& key, int64_t def) const;
    bool flag(const std::string& key) const;  // present and 1/on/yes/true
    void set(const std::string& key, const std::string& value) { kv_[key] = value; }
    const std::map<std::string, std::string>& all() const { return kv_; }

private:
    std::map<std::string, std::string> kv_;
};

// The bare words that stand for a whole configuration ("demo").
std::vector<std::string> presetNames();

// Decodes "\r", "\n", "\t", "\\", "\xNN" escapes (and "\," for a comma).
std::string unescape(const std::string& s);

}  // namespace qj::sim
