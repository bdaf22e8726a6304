// Internal to the simulated PC: its disks and drive letters. Each disk is an image file on the
// host with a described bus, vendor, product, drive type and geometry; its partition layout is
// read from the MBR or GPT in the image on every request, so it follows what the program wrote.
// Drive letters name a (disk, partition number) pair; partition number 0 is the whole disk. A
// spanned volume has further pieces on other disks.
//
// Every access holds Disks().lock. Parts of the simulated PC built on the disks (volume letters,
// the formatter) use this header.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/device_layouts.h"

namespace vu::sim::detail {

struct SimDisk {
    int number = 0;                 // N of \\.\PHYSICALDRIVE<N>
    std::string image;              // host path of the image file
    int busType = 7;                // STORAGE_BUS_TYPE
    std::string vendor, product;    // as the descriptor carries them, blanks included
    std::string serial;             // the descriptor's serial number; "" when the device has none
    bool present = true;            // attached when the PC is loaded; else PlugDisk attaches it
    int plugId = 0;                 // which attachment: a handle stays with the one it was opened on
    uint32_t driveType = 2;         // GetDriveTypeW
    DiskGeometryEx geometry;        // DiskSize is filled from the image on each query
    bool geometryGiven = false;     // else derived from the image size (255 heads, 63 sectors, 512 bytes)
    std::string gptPartitions;      // a GPT to write into the image when the PC is loaded
    // Fault injection.
    std::set<std::string> failing;  // "open", "length", "descriptor", "geometry", "layout", "device-number"
    bool shortReads = false;        // every read moves fewer bytes than asked
    bool readOnly = false;          // every write fails
    int failWrite = 0;              // the Nth write (counted from 1) fails; 0 = none
    int writesSeen = 0;
    int failRead = 0;               // the Nth read (counted from 1) fails; 0 = none
    int readsSeen = 0;
    int dropWrite = 0;              // the Nth write is acknowledged but not stored; 0 = none
    int shortRead = 0;              // the Nth read moves half of what it was asked; 0 = none
    int lockRefusals = 0;           // lock requests refused before one succeeds; -1 = always refused
    int refuseLock = 0;             // the Nth lock request is refused; 0 = none
    int locksSeen = 0;
    int vanishAfter = 0;            // requests answered before the stick is pulled out; 0 = never
    int requestsSeen = 0;           // opens, device controls, reads, writes and flushes
};

struct SimLetter {
    int disk = -1;        // disk number, -1 for a letter that is not on a disk (a CD drive)
    uint32_t partition = 0;
};

struct DiskState {
    std::recursive_mutex lock;
    std::map<int, SimDisk> disks;      // by disk number
    std::map<int, SimDisk> vanished;   // disks pulled out by their vanish-after fault, by number
    std::map<int, SimDisk> unplugged;  // disks described as not present, or unplugged, by number
    std::map<char, SimLetter> unpluggedLetters;  // their letters, until they are plugged in
    int plugs = 0;                     // attachments so far, for plugId
    std::map<char, SimLetter> letters; // by upper-case letter
    std::map<char, std::vector<SimLetter>> spans;  // the further pieces of a spanned volume
    bool failDriveStrings = false;
    std::vector<std::string> log;      // opens, closes, locks, dismounts and writes, in order
};

DiskState& Disks();
using DiskLock = std::lock_guard<std::recursive_mutex>;

int64_t ImageSize(const SimDisk& disk);
uint32_t SectorBytes(const SimDisk& disk);
DiskGeometryEx GeometryOf(const SimDisk& disk);
// Reads or writes bytes of the image; the count moved (short at the end of the image), -1 on error.
// A large write of zeros punches a hole instead, as a thinly provisioned disk would: the image
// reads the same and stays sparse.
int64_t ReadImage(const SimDisk& disk, int64_t offset, void* buffer, int64_t size);
int64_t WriteImage(const SimDisk& disk, int64_t offset, const void* buffer, int64_t size);

// The drive layout as Windows reports it for the table in the image. MBR: the four primary
// entries (empty ones included), then four per logical partition of an extended partition;
// partition numbers count the primary and logical partitions that are not empty and not
// extended. GPT (behind a protective MBR): the partitions the table defines, numbered in table
// order, with their GPT fields beside. No entries for an image without a boot signature (RAW).
struct GptFields {
    uint8_t type[16] = {}, id[16] = {};
    uint64_t attributes = 0;
    char16_t name[36] = {};
};
struct Layout {
    uint32_t style = PartitionStyleRaw;
    uint32_t signature = 0;
    uint8_t diskId[16] = {};  // of a GPT disk
    std::vector<PartitionInformation> entries;
    std::vector<GptFields> gpt;  // one per entry of a GPT disk
};
// nullopt when the table cannot be read as a whole (a broken GPT, an endless chain of logical
// partitions).
std::optional<Layout> ReadLayout(const SimDisk& disk);
// The GPT part of ReadLayout (sim_gpt.cpp), given the disk's protective MBR.
std::optional<Layout> ReadGptLayout(const SimDisk& disk);
// Writes a new GPT into the image with sfdisk; `partitions` is sfdisk's input, one partition a
// line. False (and sfdisk's complaint in *error) when it failed.
bool WriteGptTable(const SimDisk& disk, const std::string& partitions, std::string* error);
// The byte range of a partition (0 = the whole disk); nullopt when the partition does not exist.
struct ByteRange {
    int64_t offset = 0, length = 0;
};
std::optional<ByteRange> PartitionRange(const SimDisk& disk, uint32_t partition);

// Moves the disks described as not present, with their letters, out of the PC (sim_hotplug.cpp).
void HoldBackAbsentDisks(DiskState& state);
// The device interface path Windows would give the disk (sim_hotplug.cpp).
std::string InterfacePath(const SimDisk& disk);

// A file call on a drive letter, and a format of its volume, count as a request to the letter's
// disk, so that a stick can be pulled out in the middle of a copy onto it (sim_disks.h,
// vanish-after). Takes the disk lock: the file API calls it before taking its own.
void CountLetterRequest(char letter);

}  // namespace vu::sim::detail
