// The numbers of the windows, gadgets and menu items that the shell builds: the subsystems
// update some of them from their own code and threads (the drive list, the buttons they
// disable while they run, the revision list of the Configuration window).
#pragma once

namespace vu {

// Window numbers.
enum WindowNumber : int {
    MainWindow = 0,
    AboutWindow = 1,
    DownloadCenterWindow = 2,
    ConfigurationWindow = 3,
    CalculatorWindow = 4,
};

// Gadget numbers of the main window.
enum MainGadget : int {
    DlCenterButton = 1,
    FormatButton = 2,
    BackupButton = 3,
    RestoreButton = 4,
    ExitButton = 5,
    EjectButton = 6,
    RefreshButton = 7,
    DestinationFrame = 73,
    MakerLink = 95,
    DriveListGadget = 140,
};

constexpr int MainMenu = 103;

// Menu items of the main window.
enum MainMenuItem : int {
    MenuConfiguration = 1,
    MenuCalculator = 2,
    MenuInstallHfsDrivers = 3,
    MenuUninstallHfsDrivers = 4,
    MenuExtractHfs = 5,
    MenuHelp = 7,
    MenuCloverWiki = 8,
    MenuCloudEditor = 9,
    MenuAbout = 10,
    MenuQuit = 11,
};

// Gadget numbers of the Configuration window.
enum ConfigurationGadgetNumber : int {
    CheckNowButton = 10,
    ConfigOkButton = 11,
    CloverRepoButton = 17,
    ZarnImageRepoButton = 18,
    CheckAtStartupBox = 56,
    SaveAfterDlBox = 57,
    BootPartitionBox = 58,
    FoundDataSetsCombo = 61,
    RevisionsCombo = 62,
    AlignCombo = 63,
    ClusterSizeCombo = 64,
    FileSystemCombo = 65,
    FixedDisksBox = 70,
    SourceFrame = 79,
    CheckFrame = 80,
    FormatOptionsFrame = 83,
    BootRecordsFrame = 84,
    MultiPartitionFrame = 89,
    OtherFrame = 91,
    DlOption = 104,
    LocalOption = 105,
    NotInstallOption = 106,
    WindowsOption = 107,
    CloverOption = 108,
    FreeDosOption = 109,
    NotFormatOption = 110,
    BootPartitionSizeField = 117,
    VolumeLabelField = 119,
    DataSetInfoText = 120,
    CheckDateText = 121,
    UpdateNewsLink = 122,
    VolumeLabelCaption = 123,
};

}  // namespace vu
