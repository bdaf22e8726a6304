// The Configuration window (window 3): shows the data-set and format settings and lets the
// user change them. Opened and served on the main thread; the repository and revision workers
// update its gadgets 61, 62, 120 and 121 from their threads.
#pragma once

namespace vu {

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

constexpr int ConfigClientWidth = 275;
constexpr int ConfigClientHeight = 465;

// Builds window 3 over the disabled main window and sets every gadget from the settings.
void OpenConfigurationWindow();

// A gadget event of window 3 (all but "Check Now" and "OK", which the loop handles itself);
// true when the gadget belongs to this window.
bool ConfigurationGadget(int gadget, int kind);

// The enabled state of the format gadgets for the chosen boot records.
void ApplyBootRecordsEnabling();

}  // namespace vu
