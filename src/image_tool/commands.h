// The commands of velloran-image. Each takes the arguments after its name (argv[0] is the
// command's name) and returns the process's exit code: 0 only after a complete, successful run,
// 1 when the program's run failed, UsageError for arguments it cannot take.
#pragma once

namespace vu::tool {

struct Command {
    const char* name;   // first argument that selects it; nullptr for the default command
    const char* usage;  // the usage line
    int (*run)(int argc, char** argv);
};

int FormatCommand(int argc, char** argv);
extern const char* const FormatUsage;
int BackupCommand(int argc, char** argv);
extern const char* const BackupUsage;
int RestoreCommand(int argc, char** argv);
extern const char* const RestoreUsage;
int ConvertCommand(int argc, char** argv);
extern const char* const ConvertUsage;
int ExtractHfsCommand(int argc, char** argv);
extern const char* const ExtractHfsUsage;
int ExtractHfsPackageCommand(int argc, char** argv);
extern const char* const ExtractHfsPackageUsage;
int RecoveryHdCommand(int argc, char** argv);
extern const char* const RecoveryHdUsage;

}  // namespace vu::tool
