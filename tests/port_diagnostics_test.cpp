// The advice for a port that cannot be opened, on fake /proc and /dev trees.
#include <gtest/gtest.h>
#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/port_diagnostics.h"
#include "position/serial_link.h"

namespace fs = std::filesystem;

namespace {

class PortDiagnosticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("kiv-ports-" + std::to_string(getpid()));
        fs::remove_all(root);
        dev = (root / "dev").string();
        proc = (root / "proc").string();
        fs::create_directories(dev + "/serial/by-id");
        for (const char* tty : {"ttyACM0", "ttyUSB1", "ttyS0"}) std::ofstream(dev + "/" + tty).put('\n');
        fs::create_symlink("../../ttyACM0", dev + "/serial/by-id/usb-u-blox_GNSS_receiver-if00");
        holder(321, "gpsd", dev + "/ttyACM0");
        holder(654, "ModemManager", dev + "/ttyUSB1");
        fs::create_directories(proc + "/self/fd");   // not a process number
    }
    void TearDown() override { fs::remove_all(root); }
    void holder(int pid, const char* program, const std::string& device) {
        std::string dir = proc + "/" + std::to_string(pid);
        fs::create_directories(dir + "/fd");
        std::ofstream(dir + "/comm") << program << "\n";
        fs::create_symlink("/dev/null", dir + "/fd/0");
        fs::create_symlink(device, dir + "/fd/7");
    }
    std::string advice(int error, const std::string& path) {
        char text[2048];
        port_describe_failure(error, path.c_str(), proc.c_str(), dev.c_str(), text, sizeof text);
        return text;
    }
    fs::path root;
    std::string dev, proc;
};

TEST_F(PortDiagnosticsTest, ReceiversAreListedByTheirStableNameFirst) {
    PortReceiver r[8];
    ASSERT_EQ(2, port_list_receivers(dev.c_str(), r, 8));
    EXPECT_EQ(dev + "/serial/by-id/usb-u-blox_GNSS_receiver-if00", r[0].path);
    EXPECT_EQ(fs::canonical(dev + "/ttyACM0").string(), r[0].device);
    EXPECT_STREQ("usb-u-blox_GNSS_receiver-if00", r[0].byId);
    EXPECT_EQ(dev + "/ttyUSB1", r[1].path);   // ttyACM0 is not listed twice
    EXPECT_STREQ("", r[1].byId);
}

TEST_F(PortDiagnosticsTest, EachFailureSaysWhatToDo) {
    const std::string byId = dev + "/serial/by-id/usb-u-blox_GNSS_receiver-if00";
    struct Case {
        int error;
        std::string path;
        std::vector<std::string> says;
    } cases[] = {
        {EACCES, dev + "/ttyACM0", {"not in the 'uucp' group", "sudo usermod -aG uucp $USER"}},
        {EACCES, dev + "/ttyUSB1", {"not in the 'dialout' group", "sudo usermod -aG dialout $USER"}},
        {EBUSY, byId, {"in use by gpsd (process 321)", "gpsd://", "systemctl stop gpsd"}},
        {EBUSY, dev + "/ttyUSB1", {"in use by ModemManager (process 654)", "systemctl stop ModemManager"}},
        {EBUSY, dev + "/ttyS0", {"in use by another program"}},
        {ENOENT, dev + "/ttyUSB7", {"ttyUSB7 does not exist", "Receivers found:", byId + " (", dev + "/ttyUSB1",
                                    "Settings > COM"}},
        {SERIAL_OPEN_NOT_NMEA, "gpsd://", {"NMEA sentences only", "Device > NMEA"}},
        {ECONNREFUSED, "gpsd://localhost", {"Cannot reach gpsd://localhost", "systemctl start gpsd"}},
    };
    // The devices' groups as on Arch and on Debian.
    const group* uucp = getgrnam("uucp");
    const gid_t uucpId = uucp ? uucp->gr_gid : 0;
    const group* dialout = getgrnam("dialout");
    if (!uucp || !dialout || chown((dev + "/ttyACM0").c_str(), -1, uucpId) != 0 ||
        chown((dev + "/ttyUSB1").c_str(), -1, dialout->gr_gid) != 0)
        GTEST_SKIP() << "cannot give the fake devices the groups uucp and dialout";
    for (const Case& c : cases) {
        std::string text = advice(c.error, c.path);
        for (const std::string& part : c.says) EXPECT_NE(std::string::npos, text.find(part)) << text;
    }
    fs::remove_all(dev);
    EXPECT_NE(std::string::npos, advice(ENOENT, "/dev/ttyUSB0").find("No receiver found"));
}

}  // namespace
