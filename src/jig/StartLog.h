#pragma once
// "Start_log.txt": appended on every Start, lines ended by CR LF, never truncated.
#include <string>

namespace qj {

class StartLog {
public:
    explicit StartLog(std::string path = "Start_log.txt") : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    // Opens for appending, writes the line and CR LF, closes.
    void append(const std::string& line) const;

private:
    std::string path_;
};

}  // namespace qj
