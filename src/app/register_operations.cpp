// Fills the operations table with what the program's subsystems provide.
#include "app/register_operations.h"

#include "app/about_window.h"
#include "app/configuration_window.h"
#include "app/settings_file.h"
#include "core/work_folder.h"
#include "disk/drive_list.h"
#include "disk/eject.h"
#include "images/partition_images.h"
#include "net/additional_download.h"
#include "net/download_center.h"
#include "net/download_lists.h"
#include "net/found_revisions.h"
#include "net/recovery_update.h"
#include "net/revision_check.h"
#include "prepare/format_drive.h"
#include "prepare/icons.h"
#include "prepare/latest_clover_install.h"
#include "prepare/local_repository.h"
#include "tools/hfs_drivers.h"
#include "tools/hfs_from_dmg.h"
#include "tools/mask_calculator.h"
#include "tools/recovery_hd_download.h"

namespace vu {

void RegisterOperations() {
    Ops = Operations{};
    Ops.readSettings = ReadSettings;
    Ops.writeSettings = WriteSettings;
    Ops.openConfigurationWindow = OpenConfigurationWindow;
    Ops.configurationGadget = ConfigurationGadget;
    Ops.startRepositoryScan = StartRepositoryScan;
    Ops.addOfferedRevision = AddOfferedRevision;
    Ops.fillDriveList = [] { FillDriveList(); };
    Ops.ejectSelectedDrive = EjectDrive;
    Ops.loadIcons = LoadIcons;
    Ops.removeStaleWorkFolders = RemoveStaleWorkFolders;
    Ops.formatDrive = FormatDrive;
    Ops.checkHfsDrivers = [] { UpdateHfsDriverMenu(); };
    Ops.installHfsDrivers = [] { InstallHfsDrivers(); };
    Ops.uninstallHfsDrivers = [] { RemoveHfsDrivers(); };
    Ops.openCalculator = OpenMaskCalculator;
    Ops.calculatorGadget = CalculatorGadget;
    Ops.openAboutWindow = OpenAboutWindow;
    Ops.backupPartition = BackupPartition;
    Ops.restorePartition = RestorePartition;
    Ops.checkLatestRevision = RevisionCheckJob;
    Ops.installDownloadedDataSet = InstallDownloadedDataSet;
    Ops.extractHfsFromDmg = ExtractHfsFromDmg;
    Ops.statusBarClick = CancelHfsExtractionFromStatusBar;
    Ops.openDownloadCenter = OpenDownloadCenter;
    Ops.downloadCenterGadget = DownloadCenterGadget;
    Ops.downloadListReplaced = DownloadListReplaced;
    Ops.updateRecoveryCatalog = [](int, const SettingsRecord& settings) { UpdateRecoveryList(settings); };
    Ops.updateDownloadLists = [](int, const SettingsRecord&) { UpdateAdditionalList(); };
    Ops.downloadAdditional = DownloadAdditionalJob;
    Ops.downloadRecoveryHd = DownloadRecoveryHdJob;
    Ops.loadUserDownloadList = LoadUserDownloadList;
    Ops.writeExampleUserDownloadList = WriteUserListExample;
}

}  // namespace vu
