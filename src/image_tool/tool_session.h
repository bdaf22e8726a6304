// What every velloran-image command shares: a fresh simulated PC for the run, the program's
// settings read as it would read them, a transcript of every status text and message box, and
// the clean-up of the simulated PC's folders however the command ends.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vu::tool {

constexpr int UsageError = 2;

// Prints the problem and the usage line of the command; returns UsageError.
int Usage(const std::string& problem, const std::string& usageLine);

class Session {
public:
    // Starts a simulated PC with the program's start values; a settings file, when named, is
    // put beside the executable and read by the program's own reader.
    explicit Session(const std::string& settingsFile = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A host folder of this run's own, removed at the end.
    const std::string& Scratch() const { return scratch_; }

    // Makes the image file (created or resized to `mebibytes` when that is not 0) the one USB
    // stick of the PC, its existing partitions mounted as E:, F:, ... as Windows would have.
    bool LoadImagePc(const std::string& image, int64_t mebibytes, std::string& error);

    // The main window with its drive list filled and line `line` selected (0 = the whole stick).
    void SelectDriveLine(int line);
    // The same with the stick's partition `part` selected, counted from 1 as the list names it
    // ("Part1"); false when the stick has no such partition.
    bool SelectPartition(int part);

    // The Windows path under which the program finds a host file: its folder becomes drive B:.
    std::string WindowsPathOf(const std::string& hostFile);

    // The last status text shown, and whether a text was ever shown.
    std::string LastStatus() const;
    bool SawStatus(const std::string& text) const;
    bool SawStatusEndingWith(const std::string& tail) const;
    bool SawStatusEnding(const std::string& tail) const;
    // Titles of the message boxes shown so far, in order.
    std::vector<std::string> BoxTitles() const;

private:
    void Status(const std::string& text);

    std::string simRoot_, scratch_;
    mutable std::mutex lock_;
    std::string last_;
    std::vector<std::string> statuses_, boxTitles_;
};

}  // namespace vu::tool
