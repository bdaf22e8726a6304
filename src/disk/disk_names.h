// The names the inventory gives to storage bus types, drive types and MBR and GPT partition types.
// Pure functions; any thread.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vu {

std::string NameBusType(int16_t value);
std::string NameDriveType(int32_t code);
std::string NamePartitionType(uint8_t type);
// A GPT partition type given as its GUID text ("C12A7328-F81F-11D2-BA4B-00A0C93EC93B"), upper case;
// "UnknownFS" for a type the table does not know.
std::string NameGptPartitionType(const std::string& typeGuid);

// The partition type table in its search order (the first row with a matching type wins).
const std::vector<std::pair<uint8_t, const char*>>& PartitionTypeTable();

}  // namespace vu
