#include "tool_session.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/register_operations.h"
#include "app/settings_file.h"
#include "core/globals.h"
#include "core/settings.h"
#include "core/status_bar.h"
#include "disk/drive_list.h"
#include "platform/sim/sim.h"
#include "platform/sim/sim_disk_model.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_files.h"

namespace fs = std::filesystem;

namespace vu::tool {

int Usage(const std::string& problem, const std::string& usageLine) {
    std::fprintf(stderr, "velloran-image: %s\nusage: %s\n", problem.c_str(), usageLine.c_str());
    return UsageError;
}

Session::Session(const std::string& settingsFile) {
    sim::Reset();
    simRoot_ = fs::path(sim::DriveRoot('C')).parent_path().string();
    scratch_ = simRoot_ + "-tool";
    fs::create_directories(scratch_);

    RegisterOperations();
    SetSettingsStartValues();
    ReadProgramIdentity();
    if (!settingsFile.empty()) fs::copy_file(settingsFile, sim::HostPath(SettingsFilePath()));
    ReadSettings();

    sim::OnCanvas([this](int gadget, const std::vector<plat::DrawOp>& picture) {
        if (gadget != StatusBarGadget) return;
        for (const auto& op : picture)
            if (op.kind == plat::DrawOp::Text) Status(op.text);
    });
    sim::OnMessage([this](const sim::MessageRecord& box) {
        std::string text = box.text;
        for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n  ");
        std::printf("[%s] %s\n", box.title.c_str(), text.c_str());
        std::fflush(stdout);
        std::lock_guard<std::mutex> l(lock_);
        boxTitles_.push_back(box.title);
    });
}

Session::~Session() {
    sim::Reset();
    std::error_code ec;
    fs::remove_all(simRoot_, ec);
    fs::remove_all(scratch_, ec);
}

namespace {

// Drive letters for the partitions the image already holds, as Windows would have mounted them:
// E: for partition 1, F: for partition 2, ...
std::string LettersOf(const std::string& image) {
    sim::detail::SimDisk disk;
    disk.image = image;
    auto layout = sim::detail::ReadLayout(disk);
    std::string letters;
    if (!layout) return letters;
    for (const auto& entry : layout->entries)
        if (entry.PartitionNumber != 0 && entry.PartitionNumber <= 'Z' - 'E' + 1)
            letters += std::string(letters.empty() ? "" : " ") + char('E' + entry.PartitionNumber - 1) + ":" +
                       std::to_string(entry.PartitionNumber);
    return letters;
}

}  // namespace

bool Session::LoadImagePc(const std::string& image, int64_t mebibytes, std::string& error) {
    std::error_code ec;
    if (mebibytes > 0) {
        if (!fs::exists(image)) std::ofstream(image, std::ios::binary).close();
        fs::resize_file(image, uintmax_t(mebibytes) << 20, ec);
        if (ec) return error = "cannot create " + image + ": " + ec.message(), false;
    } else if (!fs::is_regular_file(image)) {
        return error = "no image file " + image, false;
    }
    // The system disk (C:) is a small blank image of its own, numbered after the stick so that the
    // stick stays the first line of the drive list.
    std::string system = scratch_ + "/system.img";
    std::ofstream(system, std::ios::binary).close();
    fs::resize_file(system, 1 << 20, ec);
    if (ec) return error = "cannot create " + system + ": " + ec.message(), false;
    std::string description = scratch_ + "/pc.txt";
    std::ofstream(description) << "system-drive = C\n[disk 1]\nimage = " << fs::absolute(image).string()
                               << "\nbus = 7\nvendor = Velloran\nproduct = \"Image Stick\"\ndrive-type = 2\n"
                               << "letters = " << LettersOf(image) << "\n[disk 9]\nimage = " << system
                               << "\nbus = 11\nproduct = System\ndrive-type = 3\nletters = C:0\n";
    return sim::LoadPc(description, &error);
}

void Session::SelectDriveLine(int line) {
    BuildMainWindow();
    FillDriveList();
    sim::SelectItem(DriveListGadget, line);
}

bool Session::SelectPartition(int part) {
    SelectDriveLine(0);
    for (const DiskRecord& disk : DiskList)
        if (part >= 1 && part <= ShownSlotCount && disk.Partitions[part - 1].Info.PartitionLength != 0) {
            sim::SelectItem(DriveListGadget, disk.Partitions[part - 1].ListItem);
            return true;
        }
    return false;
}

std::string Session::WindowsPathOf(const std::string& hostFile) {
    fs::path path = fs::absolute(hostFile);
    sim::SetDriveRoot('B', path.parent_path().string());
    return "B:\\" + path.filename().string();
}

void Session::Status(const std::string& text) {
    std::lock_guard<std::mutex> l(lock_);
    if (text.empty() || text == last_) return;
    last_ = text;
    statuses_.push_back(text);
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

std::string Session::LastStatus() const {
    std::lock_guard<std::mutex> l(lock_);
    return last_;
}

bool Session::SawStatus(const std::string& text) const {
    std::lock_guard<std::mutex> l(lock_);
    return std::find(statuses_.begin(), statuses_.end(), text) != statuses_.end();
}

bool Session::SawStatusEnding(const std::string& tail) const {
    std::lock_guard<std::mutex> l(lock_);
    return std::any_of(statuses_.begin(), statuses_.end(), [&](const std::string& text) {
        return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    });
}

bool Session::SawStatusEndingWith(const std::string& tail) const {
    std::lock_guard<std::mutex> l(lock_);
    return std::any_of(statuses_.begin(), statuses_.end(), [&](const std::string& text) { return text.ends_with(tail); });
}

std::vector<std::string> Session::BoxTitles() const {
    std::lock_guard<std::mutex> l(lock_);
    return boxTitles_;
}

}  // namespace vu::tool
