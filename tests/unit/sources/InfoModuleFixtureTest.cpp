// The staged information modules loaded with the real loader: against the fixture tree in
// tests/data/sysroot (exact entries) and against this machine (sanity).
#include "sources/InfoModule.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace ostero::sources;

namespace {

class TRecordingSink : public ostero::support::TMessageSink {
public:
    void ShowError(const ostero::support::TUserMessage& m) override { Errors.push_back(m.Text()); }
    void ShowInformation(const ostero::support::TUserMessage& m) override {
        Errors.push_back(m.Text());
    }
    std::vector<std::string> Errors;
};

// One sub entry as "level|image|flags|text" (level shifted as the session shifts it).
std::string Render(const TModuleSubEntry& e) {
    return std::to_string(e.LevelOrType) + "|" + std::to_string(e.ImageCode) + "|" +
           std::to_string(e.Flags) + "|" + e.Text;
}

struct TRootCase {
    const char* Name;
    int32_t Image;
    uint16_t Kind;
    bool Sorted;
    const char* Key;
    std::vector<std::string> Subs;
};

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Dates and the program's locale lines must not depend on the machine running the test.
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        ::setenv("LANG", "C.UTF-8", 1);
        for (const char* name : {"LC_ALL", "LC_CTYPE", "LANGUAGE"})
            ::unsetenv(name);
    }
    void LoadModule(const char* name, const char* sysroot) {
        if (sysroot)
            ::setenv("OSTERO_SYSROOT", sysroot, 1);
        else
            ::unsetenv("OSTERO_SYSROOT");
        const char* stage = std::getenv("OSTERO_STAGE_DIR");
        ASSERT_NE(stage, nullptr);
        // The program's own rule: the "Shared" folder beside the program folder.
        const std::string path = LocateInfoModule(name, std::string(stage) + "/Ostero/");
        ASSERT_FALSE(path.empty()) << name << " is not staged";
        Handle_ = LoadInfoModule(path, &Sink_);
        ASSERT_NE(Handle_, nullptr);
        Roots_ = EnumModuleRoots(Handle_, 0, &Sink_);
    }
    void TearDown() override {
        EXPECT_EQ(UnloadInfoModule(Handle_, &Sink_), 0);
        EXPECT_TRUE(Sink_.Errors.empty()) << Sink_.Errors.front();
        ::unsetenv("OSTERO_SYSROOT");
        ::unsetenv("TZ");
        ::tzset();
    }
    int RootIndex(const std::string& name) const {
        for (size_t i = 0; i < Roots_.size(); ++i) {
            if (Roots_[i].Name == name)
                return static_cast<int>(i);
        }
        ADD_FAILURE() << "no root entry " << name;
        return -1;
    }
    std::vector<std::string> Subs(const std::string& root) {
        std::vector<std::string> lines;
        for (const auto& e : EnumModuleSubs(Handle_, RootIndex(root), &Sink_))
            lines.push_back(Render(e));
        return lines;
    }
    template <size_t N> void ExpectRoots(const TRootCase (&cases)[N], size_t extraRoots = 0) {
        ASSERT_EQ(Roots_.size(), N + extraRoots);
        for (const TRootCase& c : cases) {
            SCOPED_TRACE(c.Name);
            const int index = RootIndex(c.Name);
            ASSERT_GE(index, 0);
            const TModuleRootEntry& root = Roots_[static_cast<size_t>(index)];
            EXPECT_EQ(root.ImageCode, c.Image);
            EXPECT_EQ(root.Kind, c.Kind);
            EXPECT_EQ(root.Sorted, c.Sorted);
            EXPECT_EQ(root.Key, c.Key);
            EXPECT_EQ(Subs(c.Name), c.Subs);
        }
    }
    template <typename Fn> Fn Export(const char* name) {
        return reinterpret_cast<Fn>(ostero::platform::Platform().GetProcAddress(Handle_, name));
    }
    static std::string Fixture() {
        return std::string(std::getenv("OSTERO_TEST_DATA")) + "/sysroot";
    }

    TRecordingSink Sink_;
    TModuleHandle Handle_ = nullptr;
    std::vector<TModuleRootEntry> Roots_;
};

const TRootCase kDevSurveyFixture[] = {
    {"Processors",
     3,
     0,
     false,
     "CPU",
     {
         "1|3|0|Summary",
         "10|11|0|Processor=Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz",
         "20|0|0|Vendor=GenuineIntel",
         "20|0|0|Packages=1",
         "20|0|0|Cores=2",
         "20|0|0|Logical processors=2",
         "20|0|0|Family=6",
         "20|0|0|Model=142",
         "20|0|0|Stepping=10",
         "20|0|0|Microcode=0xf4",
         "20|0|0|Cache size=6144 KB",
         "20|0|0|Features=fpu vme de pse tsc msr pae sse sse2 avx avx2",
         "20|0|1|Known processor bugs=spectre_v1 spectre_v2",
         "1|11|0|CPU 0",
         "20|0|0|Package=0",
         "20|0|0|Core=0",
         "20|31|4|Current clock=2400 MHz",
         "20|0|0|Maximum clock=3400 MHz",
         "20|0|0|Governor=powersave",
         "20|0|0|L1 cache (Data)=32K",
         "20|0|0|L2 cache=256K",
         "1|11|0|CPU 1",
         "20|0|0|Package=0",
         "20|0|0|Core=1",
         "20|31|4|Current clock=1800.000 MHz",
     }},
    {"Memory",
     4,
     0,
     false,
     "MEMORY",
     {
         "1|12|0|Main memory",
         "10|12|0|Total=7.6 GiB",
         "20|0|6|Available=195.3 MiB",
         "20|0|4|Free=97.7 MiB",
         "20|0|4|Buffers=48.8 MiB",
         "20|0|4|Cached=976.6 MiB",
         "20|0|0|Swap total=2.0 GiB",
         "20|0|4|Swap free=2.0 GiB",
         "1|4|0|Memory modules",
         "2|12|0|ChannelA-DIMM0",
         "20|0|0|Size=8.0 GiB",
         "20|0|0|Type=DDR4",
         "20|31|0|Speed=2400 MT/s",
         "20|0|0|Bank=BANK 0",
         "20|0|0|Manufacturer=Samsung",
         "20|0|0|Part number=M471A1K43CB1-CRC",
         "20|43|8|Serial number=12345678",
     }},
    {"Mainboard and BIOS",
     30,
     0,
     false,
     "MAINBOARD",
     {
         "1|70|0|System",
         "20|0|0|Manufacturer=LENOVO",
         "20|0|0|Product=20L7S02U00",
         "20|0|0|Version=ThinkPad T480s",
         "20|43|8|Serial number=PF1ABCDE",
         "1|30|0|Mainboard",
         "20|0|0|Manufacturer=LENOVO",
         "20|0|0|Product=20L7S02U00",
         "20|0|0|Version=SDK0J40697 WIN",
         "1|71|0|Chassis",
         "20|0|0|Manufacturer=LENOVO",
         "20|0|0|Type=10",
         "1|21|0|BIOS",
         "20|0|0|Vendor=LENOVO",
         "20|0|0|Version=N22ET80W (1.57 )",
         "20|0|0|Date=02/27/2023",
         "20|0|0|Release=1.57",
         "20|0|0|Firmware interface=Legacy BIOS",
     }},
    {"PCI devices",
     2,
     0,
     false,
     "PCI",
     {
         "1|23|0|Network controller",
         "2|19|0|Intel Corporation Wireless 8265 / 8275",
         "20|0|0|Address=0000:3d:00.0",
         "20|0|0|Vendor ID=8086",
         "20|0|0|Device ID=24FD",
         "20|0|0|Subsystem=8086:0010",
         "20|0|0|Type=Network controller",
         "20|0|0|Revision=0x78",
         "20|19|2|Driver=none (the device is not in use)",
         "1|25|0|Display controller",
         "2|25|0|Intel Corporation UHD Graphics 620",
         "20|0|0|Address=0000:00:02.0",
         "20|0|0|Vendor ID=8086",
         "20|0|0|Device ID=5917",
         "20|0|0|Subsystem=17AA:225D",
         "20|0|0|Type=VGA compatible controller",
         "20|0|0|Revision=0x07",
         "20|0|0|Driver=i915",
         "1|22|0|Bridge",
         "2|22|0|Intel Corporation Xeon E3-1200 v6/7th Gen Core Processor Host Bridge/DRAM "
         "Registers",
         "20|0|0|Address=0000:00:00.0",
         "20|0|0|Vendor ID=8086",
         "20|0|0|Device ID=5914",
         "20|0|0|Subsystem=17AA:225D",
         "20|0|0|Type=Host bridge",
         "20|0|0|Revision=0x08",
         "20|0|0|Driver=none",
     }},
    {"USB devices",
     57,
     0,
     false,
     "USB",
     {
         "1|65|0|USB Receiver",
         "20|0|0|Manufacturer=Logitech",
         "20|0|0|Vendor and product ID=046D:C52B",
         "20|0|0|Bus and device=1:3 (1-1)",
         "20|0|0|USB version=2.00",
         "20|0|0|Speed=12 Mbit/s",
         "20|0|0|Maximum power=98mA",
         "20|0|0|Driver=usbhid",
         "1|19|0|RTS5129 Card Reader Controller",
         "20|0|0|Manufacturer=Realtek Semiconductor Corp.",
         "20|0|0|Vendor and product ID=0BDA:0129",
         "20|0|0|Bus and device=2:2 (2-1)",
         "20|0|0|USB version=2.00",
         "20|0|0|Speed=480 Mbit/s",
         "20|0|0|Class=Vendor specific",
         "20|43|8|Serial number=20100201396000000",
         "20|19|2|Driver=none (the device is not in use)",
     }},
    {"Disks",
     9,
     0,
     false,
     "DISKS",
     {
         "1|9|0|Samsung SSD 860 (sda)",
         "20|0|0|Vendor=ATA",
         "20|0|0|Device=/dev/sda",
         "20|0|0|Size=476.9 GiB",
         "20|0|0|Kind=Solid-state or virtual disk",
         "20|0|0|Removable=No",
         "20|0|0|Logical block size=512 Bytes",
         "20|0|0|I/O scheduler=[mq-deadline] none",
         "20|6|0|Partition sda1=512.0 MiB",
         "20|6|0|Partition sda2=476.4 GiB",
         "1|7|0|DVD-RW DS8A8SH (sr0)",
         "20|0|0|Device=/dev/sr0",
         "20|0|0|Size=no medium",
         "20|0|0|Removable=Yes",
     }},
    {"Network adapters",
     23,
     0,
     false,
     "NETWORK",
     {
         "1|23|0|enp0s31f6",
         "20|0|0|Kind=Wired",
         "20|0|0|Driver=e1000e",
         "20|0|8|MAC address=8c:16:45:aa:bb:cc",
         "20|0|4|State=up",
         "20|0|4|Speed=1000 Mbit/s",
         "20|0|4|Duplex=full",
         "20|0|0|MTU=1500",
         "20|0|4|Received=1.0 GiB",
         "20|0|4|Sent=1.0 MiB",
         "20|0|5|Errors=3",
     }},
    {"Displays",
     72,
     0,
     false,
     "DISPLAYS",
     {
         "1|72|0|DELL U2419H (HDMI-A-1)",
         "20|0|0|Manufacturer ID=DEL",
         "20|0|0|Product code=A0C4",
         "20|43|8|Serial number=CFV9N83K0YTL",
         "20|0|0|Manufactured=week 12 2018",
         "20|0|0|EDID version=1.4",
         "20|0|0|Size=53 x 30 cm",
         "20|0|0|Preferred resolution=1920 x 1080",
         "20|0|4|Status=connected",
     }},
    {"Input devices",
     60,
     0,
     false,
     "INPUT",
     {
         "1|60|0|AT Translated Set 2 keyboard",
         "20|0|0|Identification=Bus=0011 Vendor=0001 Product=0001 Version=ab54",
         "20|0|0|Connection=isa0060/serio0/input0",
         "20|0|0|Handlers=sysrq kbd event3 leds",
         "1|60|0|Logitech M585/M590",
         "20|0|0|Identification=Bus=0003 Vendor=046d Product=4082 Version=0111",
         "20|0|0|Connection=usb-0000:00:14.0-1/input2:1",
         "20|0|0|Handlers=mouse0 event18",
     }},
    {"Batteries and power supplies",
     90,
     0,
     false,
     "POWER",
     {
         "1|90|0|AC (Mains)",
         "20|0|4|Connected=No",
         "1|90|0|BAT0",
         "20|0|0|Manufacturer=SMP",
         "20|0|0|Model=01AV478",
         "20|0|0|Technology=Li-poly",
         "20|43|8|Serial number=1234",
         "20|0|4|Status=Discharging",
         "20|0|6|Charge=5 %",
         "20|0|0|Full capacity=40.0 Wh",
         "20|0|0|Design capacity=57.0 Wh",
         "20|0|0|Health=70 %",
         "20|0|0|Charge cycles=312",
     }},
    {"Sound",
     24,
     0,
     false,
     "SOUND",
     {
         "1|24|0|HDA Intel PCH",
         "20|0|0|Card=0 (PCH)",
         "20|0|0|Driver=HDA-Intel",
         "20|0|0|Description=HDA Intel PCH at 0xe9328000 irq 146",
         "20|0|0|Codec=Conexant CX8200",
         "20|0|0|Stream 00-00=CX8200 Analog (playback 1, capture 1)",
         "20|0|0|Stream 00-03=HDMI 0 (playback 1)",
     }},
};

const TRootCase kSysFactsFixture[] = {
    {"Operating system",
     55,
     0,
     false,
     "OS",
     {
         "1|55|0|Distribution",
         "10|55|0|Name=Debian GNU/Linux 12 (bookworm)",
         "20|0|0|Distribution=Debian GNU/Linux",
         "20|0|0|Version=12 (bookworm)",
         "20|0|0|Version number=12",
         "20|0|0|Code name=bookworm",
         "20|0|0|Identifier=debian",
         "20|0|16|Home page=https://www.debian.org/",
         "20|0|0|Debian version=12.5",
         "1|56|0|Kernel",
         "20|0|0|Kernel=Linux",
         "10|0|0|Release=6.1.0-18-amd64",
         "20|0|0|Build=#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)",
         "20|0|0|Architecture=x86_64",
         "20|0|0|Kernel banner=Linux version 6.1.0-18-amd64 (debian-kernel@lists.debian.org) "
         "(gcc-12 (Debian 12.2.0-14) 12.2.0, GNU ld (GNU Binutils for Debian) 2.40) #1 SMP "
         "PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)",
         "20|0|0|Command line=BOOT_IMAGE=/boot/vmlinuz-6.1.0-18-amd64 root=UUID=0b6e ro quiet",
         "1|16|0|Computer",
         "20|0|8|Host name=werkbank",
         "20|0|8|Machine ID=4f1c2a5e9d8b4c3a9e7f6d5c4b3a2910",
     }},
    {"Users",
     50,
     0,
     false,
     "USERS",
     {
         "1|50|0|Accounts that can log in",
         "2|50|0|root",
         "20|0|8|User ID=0",
         "20|0|8|Group ID=0",
         "20|0|8|Full name=root",
         "20|0|8|Home folder=/root",
         "20|0|8|Shell=/bin/bash",
         "20|0|8|Administrator=Yes",
         "2|50|0|alice",
         "20|0|8|User ID=1000",
         "20|0|8|Group ID=1000",
         "20|0|8|Full name=Alice Example",
         "20|0|8|Home folder=/home/alice",
         "20|0|8|Shell=/bin/bash",
         "2|50|0|bob",
         "20|0|8|User ID=1001",
         "20|0|8|Group ID=1001",
         "20|0|8|Full name=Bob M\xFC"
         "ller",
         "20|0|8|Home folder=/home/bob",
         "20|0|9|Shell=/opt/odd/shell",
         "1|50|0|Summary",
         "20|0|0|Accounts that can log in=3",
         "20|0|0|System accounts=3",
     }},
    {"Uptime and load",
     46,
     2,
     false,
     "UPTIME",
     {
         "1|46|0|Uptime and load",
         "20|46|4|Running for=1 days, 02:03:04",
         "20|0|0|Started at=2024-02-03 22:40:00",
         "20|0|4|Processes started since boot=12345",
         "20|0|4|Runnable processes=2",
         "20|0|4|Load (1 minute)=0.52",
         "20|0|4|Load (5 minutes)=0.58",
         "20|0|4|Load (15 minutes)=0.59",
     }},
    {"Installed packages",
     52,
     0,
     false,
     "PACKAGES",
     {
         "1|52|0|Installed packages",
         "10|0|0|Count=3",
         "20|53|0|bash:amd64=5.2.15-2+b2",
         "20|53|0|libc6:i386=2.36-9+deb12u4",
         "20|53|0|tzdata=2024a-0+deb12u1",
     }},
    {"Services",
     79,
     0,
     true,
     "SERVICES",
     {
         "1|79|0|Services",
         "20|79|0|cron=disabled, Regular background program processing daemon",
         "20|79|0|cups=masked",
         "20|79|0|ssh=enabled (multi-user.target), OpenBSD Secure Shell server",
         "20|79|0|systemd-journald=static, Journal Service",
     }},
    {"Processes",
     107,
     2,
     false,
     "PROCESSES",
     {
         "1|107|0|Processes",
         "20|108|4|systemd (1)=sleeping, 12000 kB",
         "20|0|12|systemd (1) started by=root: /sbin/init splash",
         "20|109|5|my (odd) tool (4242)=ended, not collected (zombie)",
         "20|0|12|my (odd) tool (4242) started by=alice",
         "1|107|0|Summary",
         "20|0|4|Processes=2",
     }},
    {"Kernel modules",
     54,
     0,
     true,
     "MODULES",
     {
         "1|54|0|Loaded kernel modules",
         "20|54|0|e1000e=320.0 KiB, used 0 times",
         "20|54|0|i915=3.7 MiB, used 42 times",
         "20|54|0|drm_kms_helper=208.0 KiB, used 1 times by i915",
         "20|54|1|broken_mod=16.0 KiB, used 0 times, Unloading",
     }},
    {"File systems",
     9,
     0,
     false,
     "FILESYSTEMS",
     {
         "1|9|0|/",
         "20|0|0|Device=/dev/sda2",
         "20|0|0|File system=ext4",
         "20|0|0|Access=read and write",
         "1|9|0|/boot/efi",
         "20|0|0|Device=/dev/sda1",
         "20|0|0|File system=vfat",
         "20|0|0|Access=read and write",
         "1|73|0|/mnt/my files",
         "20|0|0|Device=server:/export",
         "20|0|0|File system=nfs4",
         "20|0|0|Access=read only",
         "20|0|0|Size=not asked of network file systems",
     }},
    {"Network configuration",
     23,
     0,
     false,
     "NETCONFIG",
     {
         "1|56|0|Routes",
         "20|0|8|Default route=via 192.168.0.1 on enp0s31f6",
         "20|0|8|192.168.0.0/255.255.255.0=direct on enp0s31f6",
         "1|56|0|Name resolution",
         "20|0|8|Search domains=example.org",
         "20|0|8|DNS server 1=192.168.0.1",
         "20|0|8|DNS server 2=2001:db8::1",
         "20|0|8|Host name=werkbank",
     }},
    {"Locale and time",
     46,
     0,
     false,
     "LOCALE",
     {
         "1|56|0|Locale",
         "20|0|0|System LANG=de_DE.UTF-8",
         "20|0|0|Program LANG=C.UTF-8",
         "1|46|0|Time",
         "20|0|0|Time zone=Europe/Berlin",
         "20|0|0|Hardware clock=UTC",
     }},
};

TEST_F(ModuleTest, HardwareModuleReadsTheFixtureTree) {
    LoadModule(kHardwareModuleName, Fixture().c_str());
    ExpectRoots(kDevSurveyFixture);
}

TEST_F(ModuleTest, SystemModuleReadsTheFixtureTree) {
    LoadModule(kSystemModuleName, Fixture().c_str());
    ExpectRoots(kSysFactsFixture, 1);
    // The environment is the program's own: private, and it shows where the modules read.
    const auto environment = Subs("Environment");
    EXPECT_NE(
        std::find(environment.begin(), environment.end(), "20|0|8|OSTERO_SYSROOT=" + Fixture()),
        environment.end());
}

TEST_F(ModuleTest, DmiAndOperatingSystemTextOfTheFixture) {
    LoadModule(kHardwareModuleName, Fixture().c_str());
    TDmiTexts texts;
    ASSERT_TRUE(ReadModuleDmi(Handle_, texts));
    EXPECT_EQ(texts.SystemName, "LENOVO 20L7S02U00");
    EXPECT_EQ(texts.SerialNumber, "PF1ABCDE");
    EXPECT_EQ(texts.Mainboard, "LENOVO 20L7S02U00");
    EXPECT_EQ(UnloadInfoModule(Handle_, &Sink_), 0);

    LoadModule(kSystemModuleName, Fixture().c_str());
    const auto osText = Export<TGetOSVersionString>("GetOSVersionString");
    ASSERT_NE(osText, nullptr);
    char buffer[260];
    osText(buffer);
    EXPECT_STREQ(buffer, "Debian GNU/Linux 12 (bookworm), x86_64, kernel 6.1.0-18-amd64");
}

TEST_F(ModuleTest, UnknownRootIndexIsAModuleErrorWithItsText) {
    LoadModule(kSystemModuleName, Fixture().c_str());
    EXPECT_TRUE(EnumModuleSubs(Handle_, static_cast<int32_t>(Roots_.size()), &Sink_).empty());
    ASSERT_EQ(Sink_.Errors.size(), 1u);
    EXPECT_EQ(Sink_.Errors[0], "There is no root entry with this number (error 11)");
    Sink_.Errors.clear();
}

TEST_F(ModuleTest, HardwareModuleOnThisMachine) {
    LoadModule(kHardwareModuleName, nullptr);
    ASSERT_GE(Roots_.size(), 11u);
    const auto cpus = Subs("Processors");
    EXPECT_NE(std::find_if(cpus.begin(), cpus.end(),
                           [](const std::string& l) { return l.starts_with("1|11|0|CPU "); }),
              cpus.end());
    EXPECT_TRUE(cpus.size() > 1 && cpus[1].starts_with("10|11|0|Processor=") &&
                cpus[1].size() > 18);
    // Every root entry says something, even where this machine has nothing of the kind.
    for (const auto& root : Roots_)
        EXPECT_FALSE(Subs(root.Name).empty()) << root.Name;
    TDmiTexts texts;
    EXPECT_TRUE(ReadModuleDmi(Handle_, texts));
}

TEST_F(ModuleTest, SystemModuleOnThisMachine) {
    LoadModule(kSystemModuleName, nullptr);
    utsname uts{};
    ASSERT_EQ(::uname(&uts), 0);
    char buffer[260];
    Export<TGetOSVersionString>("GetOSVersionString")(buffer);
    EXPECT_NE(std::string(buffer).find(std::string("kernel ") + uts.release), std::string::npos)
        << buffer;
    const auto os = Subs("Operating system");
    EXPECT_NE(std::find(os.begin(), os.end(), std::string("10|0|0|Release=") + uts.release),
              os.end());
    // The live process list holds this test program.
    const auto processes = Subs("Processes");
    const std::string self = " (" + std::to_string(::getpid()) + ")=";
    EXPECT_NE(std::find_if(processes.begin(), processes.end(),
                           [&](const std::string& l) { return l.find(self) != std::string::npos; }),
              processes.end());
    for (const auto& root : Roots_)
        EXPECT_FALSE(Subs(root.Name).empty()) << root.Name;
}

// Files only root may read: the entries say so instead of failing or staying silent. As root
// the enumeration runs in a child process that gave up its rights.
TEST_F(ModuleTest, UnreadableFilesSayRootRightsAreNeeded) {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("ostero-sysroot-" + std::to_string(::getpid()));
    fs::remove_all(root);
    for (const char* folder : {"sys/firmware/dmi/entries", "sys/class/dmi/id"}) {
        fs::create_directories((root / folder).parent_path());
        fs::copy(Fixture() + "/" + folder, root / folder, fs::copy_options::recursive);
    }
    fs::permissions(root, fs::perms::all, fs::perm_options::add); // reachable for any user
    // Root's files for the child without rights; for an ordinary user, files nobody may read.
    const fs::perms restricted = ::geteuid() == 0 ? fs::perms::owner_read : fs::perms::none;
    for (auto& entry : fs::recursive_directory_iterator(root))
        fs::permissions(entry.path(), entry.is_directory() ? fs::perms::all : restricted);
    for (const char* file : {"sys/class/dmi/id/sys_vendor", "sys/class/dmi/id/bios_vendor"})
        fs::permissions(root / file, fs::perms::all, fs::perm_options::add);

    LoadModule(kHardwareModuleName, root.string().c_str());
    const int memory = RootIndex("Memory");
    const int board = RootIndex("Mainboard and BIOS");
    std::vector<std::string> lines;
    auto collect = [&](std::vector<std::string>& out) {
        for (int index : {memory, board}) {
            for (const auto& e : EnumModuleSubs(Handle_, index, &Sink_))
                out.push_back(Render(e));
        }
    };
    if (::geteuid() == 0) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            std::vector<std::string> out;
            collect(out);
            std::string text;
            for (const auto& line : out)
                text += line + "\n";
            const ssize_t written = ::write(pipeFds[1], text.data(), text.size());
            ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 3);
        }
        ::close(pipeFds[1]);
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof(buffer))) > 0;)
            text.append(buffer, static_cast<size_t>(n));
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
             start = end + 1)
            lines.push_back(text.substr(start, end - start));
    } else {
        collect(lines);
    }
    fs::remove_all(root);
    auto has = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("20|16|1|Root rights are needed to read the memory module table"));
    EXPECT_TRUE(has("20|0|0|Manufacturer=LENOVO"));
    EXPECT_TRUE(has("20|0|0|Vendor=LENOVO"));
    EXPECT_TRUE(has("20|43|8|Serial number=Root rights are needed to read this"));
    EXPECT_TRUE(has("20|0|0|Product=Root rights are needed to read this"));
}

// Small trees named after the quirk they show, each read through one root entry.
TEST_F(ModuleTest, QuirkyTreesGiveSoundEntries) {
    struct Case {
        const char* Tree;
        const char* Module;
        const char* Root;
        std::vector<std::string> Subs;
    };
    const Case cases[] = {
        {"arm_cpuinfo_no_newline",
         kHardwareModuleName,
         "Processors",
         {"1|3|0|Summary", "10|11|0|Processor=ARMv7 Processor rev 4 (v7l)", "20|0|0|Packages=1",
          "20|0|0|Cores=1", "20|0|0|Logical processors=2",
          "20|0|0|Features=half thumb fastmult vfp edsp neon vfpv3 tls vfpv4 idiva idivt vfpd32 "
          "lpae evtstrm crc32",
          "20|0|0|Hardware=BCM2835", "20|43|8|Serial number=00000000a1b2c3d4", "1|11|0|CPU 0",
          "1|11|0|CPU 1"}},
        {"edid_damaged",
         kHardwareModuleName,
         "Displays",
         {"1|19|0|DP-1", "20|32|2|The display's identification (EDID) is damaged", "1|72|0|DP-2",
          "20|0|4|Status=connected", "20|20|0|The display sends no identification (EDID)"}},
        {"smbios_truncated",
         kHardwareModuleName,
         "Memory",
         {"1|12|0|Main memory", "20|32|2|No memory information found (/proc/meminfo)",
          "1|4|0|Memory modules", "2|12|0|Module 1", "20|0|0|Size=16.0 MiB", "20|0|0|Type=DDR5"}},
        {"pci_without_ids",
         kHardwareModuleName,
         "PCI devices",
         {"1|24|0|Class 04", "2|19|0|Vendor 8086 Device 9D71", "20|0|0|Address=0000:00:1f.3",
          "20|0|0|Vendor ID=8086", "20|0|0|Device ID=9D71", "20|0|0|Revision=0x21",
          "20|19|2|Driver=none (the device is not in use)"}},
        {"process_ended",
         kSystemModuleName,
         "Processes",
         {"1|107|0|Processes", "20|108|4|sh (78)=running", "1|107|0|Summary",
          "20|0|4|Processes=1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Tree);
        LoadModule(c.Module, (Fixture() + "/quirks/" + c.Tree).c_str());
        EXPECT_EQ(Subs(c.Root), c.Subs);
        EXPECT_EQ(UnloadInfoModule(Handle_, &Sink_), 0);
    }
}

// A live entry is read afresh by every enumeration.
TEST_F(ModuleTest, LiveEntryIsReadAgain) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("ostero-live-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "proc");
    fs::copy(Fixture() + "/proc/1", root / "proc/1", fs::copy_options::recursive);
    LoadModule(kSystemModuleName, root.string().c_str());
    EXPECT_EQ(Roots_[static_cast<size_t>(RootIndex("Processes"))].Kind, 2);
    EXPECT_EQ(Subs("Processes").back(), "20|0|4|Processes=1");
    fs::copy(Fixture() + "/proc/4242", root / "proc/4242", fs::copy_options::recursive);
    EXPECT_EQ(Subs("Processes").back(), "20|0|4|Processes=2");
    fs::remove_all(root);
}

} // namespace
