// Fills the operations table with what the program's subsystems provide.
#include "app/operations.h"

#include "prepare/icons.h"
#include "prepare/work_folder.h"

namespace vu {

Operations Ops;

void RegisterOperations() {
    Ops = Operations{};
    Ops.loadIcons = LoadIcons;
    Ops.deleteWorkFolder = DeleteWorkFolder;
}

}  // namespace vu
