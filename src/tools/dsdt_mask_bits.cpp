// The FixDsdtMask bit table; see dsdt_mask_bits.h. "Old way" is Clover's meaning of the bits
// without bit 31 (NewWay), when some low bits switch on several fixes at once.
#include "tools/dsdt_mask_bits.h"

namespace vu {

namespace {

const DsdtMaskBit kBits[DsdtMaskBitCount] = {
    {"AddDTGP", "AddDTGP_0001",
     "Puts the method DTGP into the DSDT.\r\n\r\n"
     "The _DSM methods that other fixes add to inject device properties call DTGP. "
     "On its own this bit changes nothing useful: set it together with those fixes."},
    {"Darwin", "FixDarwin_0002",
     "Makes the DSDT see Darwin as Windows 2001, the system most ACPI tables are written for, "
     "so that macOS gets the same devices and behaviour.\r\n\r\n"
     "In the old way (without NewWay) this bit also applies the WAK, DeleteUnused, ACST, S3D, "
     "PNLF and ADP1 fixes."},
    {"Shutdown", "FixShutdown_0004",
     "Adds If (Arg0 == 5) {} to the method _PTS.\r\n\r\n"
     "Some boards restart or hang instead of switching off; this condition lets them shut down."},
    {"AddMCHC", "AddMCHC_0008",
     "Adds the memory controller device MCHC.\r\n\r\n"
     "In the old way this bit adds the IMEI device as well (AddIMEI)."},
    {"HPET", "FixHPET_0010",
     "Gives the HPET device the interrupts IRQ 0, 8 and 11.\r\n\r\n"
     "In the old way this bit also applies the RTC and TMR fixes."},
    {"FakeLPC", "FakeLPC_0020",
     "Replaces the device-id of the LPC bridge.\r\n\r\n"
     "For chipsets macOS does not know: with a familiar id the power-management driver loads."},
    {"IPIC", "FixIPIC_0040",
     "Removes IRQ 2 from the IPIC device.\r\n\r\n"
     "Helps when the power button does nothing or does not bring up its dialog."},
    {"SBUS", "FixSBUS_0080",
     "Adds the SMBus controller device together with a subdevice, as real Macs describe it."},
    {"Display", "FixDisplay_0100",
     "Patches the video devices. The other video settings of the configuration only take effect "
     "with this bit.\r\n\r\n"
     "In the new way Intel graphics is left alone here and patched by INTELGFX (bit 20)."},
    {"IDE", "FixIDE_0200",
     "Initialises an IDE controller (not SATA) properly.\r\n\r\n"
     "Without it some systems with an IDE controller end in a kernel panic."},
    {"SATA", "FixSATA_0400",
     "Gives the SATA controller an ICH6 device-id, which hides the orange icons of internal "
     "disks.\r\n\r\n"
     "Considered obsolete: newer systems do without it."},
    {"Firewire", "FixFirewire_0800",
     "Adds the FireWire controller device when the hardware has one but the DSDT does not "
     "describe it."},
    {"USB", "FixUSB_1000",
     "Injects the USB 1, 2 and 3 controller devices together with their properties."},
    {"LAN", "FixLAN_2000",
     "Injects the wired network controller with its properties, including the known FakeID "
     "substitutions."},
    {"Airport", "FixAirport_4000",
     "Injects the WiFi controller with its properties, including the known FakeID "
     "substitutions."},
    {"HDA", "FixHDA_8000",
     "Fixes the sound devices: renames AZAL to HDEF (or HDAU for HDMI audio), adds the HDMI "
     "device and injects the audio properties layout-id, MaximumBootBeepVolume and "
     "PinConfigurations."},
    {"DARWIN", "FIX_DARWIN_10000",
     "Only the identification of Darwin as Windows, without the other fixes that bit 1 applies "
     "in the old way."},
    {"RTC", "FIX_RTC_20000",
     "Removes IRQ 0 from the real-time clock device RTC."},
    {"TMR", "FIX_TMR_40000",
     "Removes IRQ 8 from the timer device TMR."},
    {"AddIMEI", "AddIMEI_80000",
     "Adds the IMEI device, which the drivers of Intel HD graphics expect (FakeID->IMEI uses it "
     "too)."},
    {"INTELGFX", "FIX_INTELGFX_100000",
     "In the new way Intel graphics is patched only when this bit is set."},
    {"WAK", "FIX_WAK_200000",
     "Adds Return (Package (0)) to the method _WAK when it has no return.\r\n\r\n"
     "macOS expects the result after waking from sleep."},
    {"DeleteUnused", "DeleteUnused_400000",
     "Deletes devices that a PC describes but macOS has no use for: the floppy controller, the "
     "printer port (LPT) and others."},
    {"ADP1", "FIX_ADP1_800000",
     "Renames the power adapter device AC0 to ADP1, the name macOS looks for."},
    {"AddPNLF", "AddPNLF_1000000",
     "Adds the device PNLF.\r\n\r\n"
     "It gives laptops brightness control and helps sleep and wake."},
    {"S3D", "FIX_S3D_2000000",
     "Corrects the _S3D methods so that sleep and wake work."},
    {"ACST", "FIX_ACST_4000000",
     "Renames the ACST names.\r\n\r\n"
     "Apple and ASUS tables use this name for different things, which confuses macOS on ASUS "
     "boards."},
    {"AddHDMI", "AddHDMI_8000000",
     "Добавляет устройство HDAU для звука по HDMI видеокарты ATI или Nvidia и внедряет свойство "
     "hda-gfx = onboard-1 или onboard-2.\r\n\r\n"
     "Нужно, чтобы звук шёл через HDMI-выход дискретной карты."},
    {"Regions", "FixRegions_10000000",
     "Finds the OperationRegions that the BIOS places at different addresses on each start and "
     "corrects them in a custom DSDT, so that a patched DSDT keeps working."},
    {"Not yet used", "Not yet used", "Not yet used"},
    {"Not yet used", "Not yet used", "Not yet used"},
    {"NewWay", "NewWay_80000000",
     "Switches to the new meaning of the bits: each of the old bits does one thing only, and the "
     "bits from 16 upwards choose the remaining fixes one by one.\r\n\r\n"
     "Without it every bit after bit 15 means nothing."},
};

}  // namespace

const DsdtMaskBit& DsdtBit(int bit) { return kBits[bit & 31]; }

}  // namespace vu
