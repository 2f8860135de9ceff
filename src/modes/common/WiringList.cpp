#include "modes/common/WiringList.h"

#include "modes/common/ImageFile.h"

namespace qj::wiring {

namespace {
class LineBuilder {
public:
    void put(char c) {
        if (c == '\r') return;
        if (c == '\n') {
            lines_.push_back(std::move(cur_));
            cur_.clear();
            return;
        }
        cur_ += c;
    }
    std::vector<std::string> take() { return std::move(lines_); }

private:
    std::vector<std::string> lines_;
    std::string cur_;  // dropped at the end: it had no line feed
};
}  // namespace

std::vector<std::string> splitLines(const std::string& bytes) {
    LineBuilder b;
    for (char c : bytes) b.put(c);
    return b.take();
}

std::optional<std::vector<std::string>> readList(const std::string& path, std::string* why) {
    const image::FileRead r = image::readHead(path, kListCap);
    std::string refused = r.result == image::Load::Empty ? "" : image::whyRefused(path, r);
    if (r.longer) refused = path + " is longer than " + std::to_string(kListCap) + " bytes: no wiring list";
    if (why) *why = refused;
    if (!refused.empty()) return std::nullopt;
    LineBuilder b;
    for (uint8_t c : r.bytes) b.put(static_cast<char>(c));
    return b.take();
}

Contact readContact(const std::string& line, const std::string& key) {
    Contact c;
    const size_t at = line.find(key);
    if (at == std::string::npos) return c;
    c.found = true;
    const size_t p = at + key.size();
    if (p >= line.size()) return c;
    // One or two characters: a third digit is not part of the number.
    c.text.assign(1, line[p]);
    if (p + 1 < line.size() && line[p + 1] != ' ') c.text += line[p + 1];
    int v = 0;
    for (char ch : c.text) {
        if (ch < '0' || ch > '9') return c;
        v = v * 10 + (ch - '0');
    }
    c.value = v;
    return c;
}

}  // namespace qj::wiring
