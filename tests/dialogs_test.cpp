// The dialog records: the COM settings dialog's lists, presets and item
// values with OK and Cancel against the real kiv_com.txt, the GPS monitor's
// texts from the fix record, and the Keys and About texts.
#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/com_dialog.h"
#include "app/info_dialogs.h"
#include "app/monitor_dialog.h"
#include "position/gps_fix.h"
#include "settings/app_settings.h"
#include "settings/device_table.h"
#include "settings/ini_update.h"
#include "settings/settings_load.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

int entryOf(const ComDialogList& l, const char* text) {
    for (int i = 0; i < l.count; i++)
        if (std::string(l.text[i]) == text) return i;
    return -1;
}

// A settings record loaded from files in a temporary working folder.
class ComDialogTest : public ::testing::Test {
protected:
    std::filesystem::path dir, oldCwd;
    AppSettings* s = nullptr;
    ComDialog d{};

    void SetUp() override {
        oldCwd = std::filesystem::current_path();
        char pattern[] = "/tmp/kiv_dialogs_XXXXXX";
        dir = mkdtemp(pattern);
        std::filesystem::current_path(dir);
    }
    void TearDown() override {
        if (s) settings_free(s);
        std::filesystem::current_path(oldCwd);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    void load(const std::string& com, const std::string& dev, const std::string& ini = "") {
        writeText("kiv_com.txt", com);
        writeText("kiv_dev.txt", dev);
        writeText("kiv_ini.txt", ini);
        ASSERT_EQ(1, settings_load(&s));
        com_dialog_init(&d, s);
    }
    void pick(int list, const char* text) {
        int i = entryOf(d.lists[list], text);
        ASSERT_GE(i, 0) << text;
        com_dialog_select(&d, list, i);
    }
    const char* selectedText(int list) const {
        const ComDialogList& l = d.lists[list];
        return l.selected >= 0 ? l.text[l.selected] : "";
    }
};

}  // namespace

TEST_F(ComDialogTest, ListsCarryTheirTextsAndValues) {
    load("COM2\nSmall\n", "NMEA\n");
    EXPECT_STREQ("KIV Settings...", d.caption);
    const ComDialogList& ports = d.lists[COM_LIST_PORT];
    ASSERT_EQ(9, ports.count);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ("COM" + std::to_string(i + 1), ports.text[i]);
        EXPECT_EQ(i + 1, ports.value[i]);
    }
    const char* rates[] = {"110", "300", "600", "1200", "2400", "4800", "9600", "14.4k", "19.2k", "38.4k", "56k",
                           "57.6k", "115.2k", "128k", "256k"};
    const int32_t rateValues[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                  19200, 38400, 56000, 57600, 115200, 128000, 256000};
    const ComDialogList& baud = d.lists[COM_LIST_BAUD_RATE];
    ASSERT_EQ(15, baud.count);
    for (int i = 0; i < 15; i++) {
        EXPECT_STREQ(rates[i], baud.text[i]);
        EXPECT_EQ(rateValues[i], baud.value[i]);
    }
    const ComDialogList& bits = d.lists[COM_LIST_DATA_BITS];
    ASSERT_EQ(4, bits.count);
    EXPECT_STREQ("5", bits.text[0]);
    EXPECT_STREQ("8", bits.text[3]);
    const ComDialogList& parity = d.lists[COM_LIST_PARITY];
    const char* parities[] = {"None", "Even", "Odd", "Mark", "Space"};
    const int32_t codes[] = {0, 2, 1, 3, 4};
    ASSERT_EQ(5, parity.count);
    for (int i = 0; i < 5; i++) {
        EXPECT_STREQ(parities[i], parity.text[i]);
        EXPECT_EQ(codes[i], parity.value[i]);
    }
    // One stop bit only.
    ASSERT_EQ(1, d.lists[COM_LIST_STOP_BITS].count);
    EXPECT_STREQ("1", d.lists[COM_LIST_STOP_BITS].text[0]);
    EXPECT_EQ(0, d.lists[COM_LIST_STOP_BITS].value[0]);
    int ids[] = {576, 577, 578, 579, 580};
    for (int l = 0; l < COM_LISTS; l++) EXPECT_EQ(ids[l], d.lists[l].controlId);
    EXPECT_STREQ("Ok", d.okText);
    EXPECT_STREQ("Cancel", d.cancelText);
}

TEST_F(ComDialogTest, PresetsFollowTheRecord) {
    load("COM2\nSmall\n", "NMEA\n");
    EXPECT_STREQ("COM2", selectedText(COM_LIST_PORT));
    EXPECT_STREQ("4800", selectedText(COM_LIST_BAUD_RATE));
    EXPECT_STREQ("8", selectedText(COM_LIST_DATA_BITS));
    EXPECT_STREQ("None", selectedText(COM_LIST_PARITY));
    EXPECT_STREQ("1", selectedText(COM_LIST_STOP_BITS));
    EXPECT_EQ(1, d.lists[COM_LIST_PORT].enabled);
    for (int b = 0; b < COM_FLOW_BOXES; b++) EXPECT_EQ(0, d.flowChecked[b]);

    s->flowControl = 5;
    s->parity = 1;
    s->dataBits = 6;
    s->baudRate = 56000;
    s->connected = 1;
    com_dialog_init(&d, s);
    EXPECT_EQ(1, d.flowChecked[COM_FLOW_DTR_DSR]);
    EXPECT_EQ(0, d.flowChecked[COM_FLOW_RTS_CTS]);
    EXPECT_EQ(1, d.flowChecked[COM_FLOW_XON_XOFF]);
    EXPECT_STREQ("Odd", selectedText(COM_LIST_PARITY));
    EXPECT_STREQ("6", selectedText(COM_LIST_DATA_BITS));
    EXPECT_STREQ("56k", selectedText(COM_LIST_BAUD_RATE));
    // The port of an open link is greyed and cannot change.
    EXPECT_EQ(0, d.lists[COM_LIST_PORT].enabled);
    com_dialog_select(&d, COM_LIST_PORT, 6);
    EXPECT_STREQ("COM2", selectedText(COM_LIST_PORT));
    s->connected = 0;
}

TEST_F(ComDialogTest, OkStoresTheItemValuesAndRewritesTheComFile) {
    load("COM1\nBig\n", "NMEA\n");
    pick(COM_LIST_PORT, "COM4");
    pick(COM_LIST_BAUD_RATE, "19.2k");
    pick(COM_LIST_DATA_BITS, "7");
    pick(COM_LIST_PARITY, "Even");
    com_dialog_set_flow(&d, COM_FLOW_RTS_CTS, 1);
    com_dialog_set_flow(&d, COM_FLOW_XON_XOFF, 1);
    EXPECT_EQ(1, com_dialog_ok(&d));
    EXPECT_EQ(4, s->comPort);
    EXPECT_EQ(19200u, s->baudRate);
    EXPECT_EQ(7, s->dataBits);
    EXPECT_EQ(2, s->parity);
    EXPECT_EQ(0, s->stopBits);
    EXPECT_EQ(6, s->flowControl);
    EXPECT_EQ("COM4\nBig\n", readText("kiv_com.txt"));

    com_dialog_init(&d, s);
    pick(COM_LIST_PARITY, "Odd");
    pick(COM_LIST_BAUD_RATE, "110");
    pick(COM_LIST_DATA_BITS, "5");
    com_dialog_ok(&d);
    EXPECT_EQ(1, s->parity);
    EXPECT_EQ(110u, s->baudRate);
    EXPECT_EQ(5, s->dataBits);
    pick(COM_LIST_PARITY, "Mark");
    com_dialog_ok(&d);
    EXPECT_EQ(3, s->parity);
    pick(COM_LIST_PARITY, "Space");
    com_dialog_ok(&d);
    EXPECT_EQ(4, s->parity);
}

TEST_F(ComDialogTest, CancelLeavesRecordAndFileUntouched) {
    load("COM3\nSmall\n", "EarthMate\n");
    writeText("kiv_com.txt", "COM3\nSmall\nkept as it was\n");
    pick(COM_LIST_PORT, "COM9");
    pick(COM_LIST_BAUD_RATE, "256k");
    com_dialog_set_flow(&d, COM_FLOW_DTR_DSR, 1);
    EXPECT_EQ(1, com_dialog_cancel(&d));
    EXPECT_EQ(1, d.result);
    EXPECT_EQ(3, s->comPort);
    EXPECT_EQ(9600u, s->baudRate);
    EXPECT_EQ(0, s->flowControl);
    EXPECT_EQ("COM3\nSmall\nkept as it was\n", readText("kiv_com.txt"));
}

TEST_F(ComDialogTest, ValuesWithoutAnEntryAreKeptByOk) {
    load("COM0\nSmall\n", "NMEA\n");
    // COM0 (no link at start) and a rate outside the table show no selection.
    s->baudRate = 230400;
    com_dialog_init(&d, s);
    EXPECT_EQ(-1, d.lists[COM_LIST_PORT].selected);
    EXPECT_EQ(-1, d.lists[COM_LIST_BAUD_RATE].selected);
    EXPECT_STREQ("", d.portPathText);
    com_dialog_ok(&d);
    EXPECT_EQ(0, s->comPort);
    EXPECT_EQ(230400u, s->baudRate);
    EXPECT_EQ("COM0\nSmall\n", readText("kiv_com.txt"));
}

TEST_F(ComDialogTest, ThePortPathFollowsTheSelection) {
    load("COM1\nSmall\n", "NMEA\n", "Com1=/dev/ttyUSB0\nCom3=/dev/serial/by-id/usb-gps\n");
    EXPECT_STREQ("/dev/ttyUSB0", d.portPathText);
    EXPECT_STREQ("/dev/ttyUSB0", d.portPaths[0]);
    EXPECT_STREQ("/dev/ttyS1", d.portPaths[1]);
    EXPECT_STREQ("/dev/serial/by-id/usb-gps", d.portPaths[2]);
    EXPECT_STREQ("/dev/ttyS8", d.portPaths[8]);
    pick(COM_LIST_PORT, "COM3");
    EXPECT_STREQ("/dev/serial/by-id/usb-gps", d.portPathText);
    pick(COM_LIST_PORT, "COM2");
    EXPECT_STREQ("/dev/ttyS1", d.portPathText);
    // The entries keep their names.
    EXPECT_STREQ("COM3", d.lists[COM_LIST_PORT].text[2]);
}

TEST_F(ComDialogTest, ReceiversFoundAreOfferedAndTheOneAssignedIsWrittenAsComN) {
    // A /dev with a u-blox behind its by-id link and a bare USB adapter.
    std::filesystem::create_directories("dev/serial/by-id");
    writeText("dev/ttyACM0", "");
    writeText("dev/ttyUSB1", "");
    std::filesystem::create_symlink("../../ttyACM0", "dev/serial/by-id/usb-u-blox_GNSS-if00");
    const std::string root = (dir / "dev").string(), ublox = root + "/serial/by-id/usb-u-blox_GNSS-if00";
    load("COM1\nSmall\n", "NMEA\n", "# mine\nCom2=/dev/ttyS7\nHair=2\n");
    com_dialog_init(&d, s, root.c_str());
    ASSERT_EQ(3, d.device.count);
    EXPECT_STREQ("/dev/ttyS0", d.device.text[0]);   // what COM1 opens now
    EXPECT_STREQ("usb-u-blox_GNSS-if00 (ttyACM0)", d.device.text[1]);
    EXPECT_EQ(root + "/ttyUSB1", d.device.text[2]);
    EXPECT_EQ(0, d.device.selected);

    pick(COM_LIST_PORT, "COM2");
    EXPECT_STREQ("/dev/ttyS7", d.device.text[0]);
    com_dialog_pick_device(&d, 1);
    EXPECT_EQ(ublox, d.portPathText);
    EXPECT_EQ(1, com_dialog_ok(&d));
    EXPECT_EQ(ublox, s->comPath[2]);
    EXPECT_EQ("# mine\nCom2=" + ublox + "\nHair=2\n", readText("kiv_ini.txt"));

    // Read back at the next start, and shown by its name.
    settings_free(s);
    s = nullptr;
    ASSERT_EQ(1, settings_load(&s));
    EXPECT_EQ(ublox, s->comPath[2]);
    com_dialog_init(&d, s, root.c_str());
    EXPECT_STREQ("usb-u-blox_GNSS-if00 (ttyACM0)", d.device.text[0]);
    EXPECT_EQ(2, d.device.count);

    // An open link's device cannot change.
    s->connected = 1;
    com_dialog_init(&d, s, root.c_str());
    EXPECT_EQ(0, d.device.enabled);
    com_dialog_pick_device(&d, 1);
    EXPECT_EQ(0, d.device.selected);
    s->connected = 0;
}

TEST_F(ComDialogTest, LineSettingsAreRememberedPerPortAndReadBackAtStart) {
    // An old kiv_ini.txt: the device's defaults, and Ok pins nothing.
    load("COM1\nSmall\n", "NMEA\n", "Hair=2\n");
    EXPECT_EQ(4800u, s->baudRate);
    com_dialog_ok(&d);
    EXPECT_EQ("Hair=2\n", readText("kiv_ini.txt"));

    pick(COM_LIST_BAUD_RATE, "115.2k");
    pick(COM_LIST_PARITY, "Even");
    com_dialog_set_flow(&d, COM_FLOW_RTS_CTS, 1);
    com_dialog_set_flow(&d, COM_FLOW_XON_XOFF, 1);
    com_dialog_ok(&d);
    EXPECT_EQ("Hair=2\nBaud1=115200\nBits1=8\nParity1=Even\nStop1=1\nFlow1=RTS/CTS+XON/XOFF\n",
              readText("kiv_ini.txt"));

    settings_free(s);
    s = nullptr;
    ASSERT_EQ(1, settings_load(&s));   // NMEA alone would say 4800, no parity
    EXPECT_EQ(115200u, s->baudRate);
    EXPECT_EQ(2, s->parity);
    EXPECT_EQ(6, s->flowControl);

    // Another port shows its own remembered line when chosen; a rate the
    // list does not offer still holds.
    writeText("kiv_ini.txt", readText("kiv_ini.txt") + "Baud2=9600\nBaud3=230400\n");
    settings_free(s);
    s = nullptr;
    ASSERT_EQ(1, settings_load(&s));
    com_dialog_init(&d, s);
    pick(COM_LIST_PORT, "COM2");
    EXPECT_STREQ("9600", selectedText(COM_LIST_BAUD_RATE));
    EXPECT_STREQ("None", selectedText(COM_LIST_PARITY));
    EXPECT_EQ(0, d.flowChecked[COM_FLOW_RTS_CTS]);
    com_dialog_ok(&d);
    EXPECT_EQ(9600u, s->baudRate);
    EXPECT_EQ(std::string::npos, readText("kiv_ini.txt").find("Bits2="));   // nothing new to remember
    com_dialog_init(&d, s);
    pick(COM_LIST_PORT, "COM3");
    EXPECT_EQ(-1, d.lists[COM_LIST_BAUD_RATE].selected);
    com_dialog_ok(&d);
    EXPECT_EQ(230400u, s->baudRate);
}

TEST(IniUpdate, KeysAreReplacedInPlaceAndTheRestOfTheFileKept) {
    char pattern[] = "/tmp/kiv_ini_XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    auto old = std::filesystem::current_path();
    std::filesystem::current_path(pattern);
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        {"", "Com1=/dev/x\nBaud1=9\n"},                                   // created
        {"Hair=2", "Hair=2\nCom1=/dev/x\nBaud1=9\n"},                   // no final line end
        {"Com1=a\r\nZone=1 X\r\nCom1=b\r\n", "Com1=/dev/x\r\nZone=1 X\r\nBaud1=9\r\n"},   // CR LF, one left
        {"Com10=y\nBaud1=1\n", "Com10=y\nBaud1=9\nCom1=/dev/x\n"},
    };
    const IniSetting keys[] = {{"Com1=", "/dev/x"}, {"Baud1=", "9"}};
    for (const Case& c : cases) {
        writeText("kiv_ini.txt", c.before);
        EXPECT_EQ(1, ini_set_keys(keys, 2));
        EXPECT_EQ(c.after, readText("kiv_ini.txt")) << c.before;
    }
    std::filesystem::current_path(old);
    std::filesystem::remove_all(pattern);
}

class MonitorDialogTest : public ::testing::Test {
protected:
    MonitorDialog* d = nullptr;
    void SetUp() override {
        gps_reset();
        d = monitor_dialog_create();
    }
    void TearDown() override {
        monitor_dialog_free(d);
        gps_reset();
    }
    const char* text(int index) const { return d->texts[index].text; }
    static void satellite(int i, int prn, int azimuth, int elevation, int snr, int used) {
        gps_set_sat_prn(i, prn);
        gps_set_sat_azimuth(i, azimuth);
        gps_set_sat_elevation(i, elevation);
        gps_set_sat_snr(i, snr);
        gps_set_sat_used(i, used);
    }
};

TEST_F(MonitorDialogTest, OpensBlankWithItsTimerAtOneSecond) {
    EXPECT_STREQ("GPS Monitor", d->caption);
    EXPECT_EQ(MONITOR_FIRST_TIMER_MS, d->timerMs);
    EXPECT_EQ(1000, d->timerMs);
    EXPECT_EQ(1, d->open);
    for (int i = 0; i < MONITOR_TEXTS; i++) EXPECT_STREQ(" ", text(i)) << i;
    EXPECT_EQ(608, d->texts[MONITOR_TIME].controlId);
    EXPECT_EQ(609, d->texts[MONITOR_POSITION].controlId);
    EXPECT_EQ(610, d->texts[MONITOR_MESSAGE].controlId);
    EXPECT_EQ(624, d->texts[MONITOR_HEADER].controlId);
    EXPECT_EQ(636, d->texts[MONITOR_ROW_FIRST + 11].controlId);
    EXPECT_EQ(171, d->texts[MONITOR_ROW_FIRST + 11].rect.y);
    EXPECT_STREQ("Date / Time", d->groups[0].text);
    EXPECT_STREQ("Lat / Long / Alt", d->groups[1].text);
    EXPECT_STREQ("Satellites", d->groups[2].text);
    EXPECT_STREQ("Messages", d->groups[3].text);
    monitor_dialog_timer(d);
    EXPECT_EQ(300, d->timerMs);
    monitor_dialog_timer(d);
    EXPECT_EQ(300, d->timerMs);
}

TEST_F(MonitorDialogTest, WithoutAFixThePositionLineSaysSoAndTheRestIsShown) {
    gps_set_time_utc(2025, 5, 8, 12, 34, 56);
    gps_set_last_message("$GPRMC,123456,V");
    gps_set_satellites_in_view(1);
    satellite(0, 7, 45, 30, 38, 0);
    monitor_dialog_timer(d);
    EXPECT_STREQ("  2025/05/08 12:34:56 (UTC)", text(MONITOR_TIME));
    EXPECT_STREQ("  No Fix", text(MONITOR_POSITION));
    EXPECT_STREQ(" $GPRMC,123456,V", text(MONITOR_MESSAGE));
    EXPECT_STREQ("  PRN     AZM    ELV     SS     USED", text(MONITOR_HEADER));
    EXPECT_STREQ("   [07]      045      30       38       No", text(MONITOR_ROW_FIRST));
    EXPECT_STREQ(" ", text(MONITOR_ROW_FIRST + 1));
}

TEST_F(MonitorDialogTest, FixLinesGiveTheDimension) {
    gps_set_latitude(45.42153);
    gps_set_longitude(-75.69719);
    gps_set_altitude(71.256);
    gps_set_fix_mode(2);
    monitor_dialog_refresh(d);
    EXPECT_STREQ("  45.4215, -75.6972, 71 m (2D)", text(MONITOR_POSITION));
    gps_set_fix_mode(3);
    monitor_dialog_refresh(d);
    EXPECT_STREQ("  45.4215, -75.6972, 71 m (3D)", text(MONITOR_POSITION));
    gps_set_fix_mode(1);
    monitor_dialog_refresh(d);
    EXPECT_STREQ("  45.4215, -75.6972, 71 m (1D)", text(MONITOR_POSITION));
    // The longest coordinates and a four-digit altitude take no more room
    // than a two-digit one did in the old form, which the dialog showed whole.
    gps_set_latitude(-45.42153);
    gps_set_longitude(-175.69719);
    gps_set_altitude(1234.5);
    monitor_dialog_refresh(d);
    EXPECT_LE(strlen(text(MONITOR_POSITION)), strlen("  45.4215 : -75.6972 : 71.26  (3D)"));
    gps_set_fix_mode(-1);
    monitor_dialog_refresh(d);
    EXPECT_STREQ("  No Fix", text(MONITOR_POSITION));
}

TEST_F(MonitorDialogTest, ALongMessageIsCutTo48Characters) {
    std::string msg = "$GPGSV,3,1,12,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75";
    gps_set_last_message(msg.c_str());
    monitor_dialog_refresh(d);
    EXPECT_EQ(" " + msg.substr(0, 47), text(MONITOR_MESSAGE));
    EXPECT_EQ(48u, strlen(text(MONITOR_MESSAGE)));
    std::string exact(47, 'x');
    gps_set_last_message(exact.c_str());
    monitor_dialog_refresh(d);
    EXPECT_EQ(" " + exact, text(MONITOR_MESSAGE));
    gps_set_last_message("");
    monitor_dialog_refresh(d);
    EXPECT_STREQ(" ", text(MONITOR_MESSAGE));
}

TEST_F(MonitorDialogTest, FourteenSatellitesInViewFillTheTwelveRows) {
    gps_set_fix_mode(3);
    gps_set_satellites_in_view(14);
    for (int i = 0; i < GPS_SAT_TABLE; i++) satellite(i, i + 1, 10 * i, 5 + i, 30 + i, i % 2);
    monitor_dialog_refresh(d);
    EXPECT_STREQ("   [01]      000      05       30       No", text(MONITOR_ROW_FIRST));
    EXPECT_STREQ("   [02]      010      06       31       Yes", text(MONITOR_ROW_FIRST + 1));
    EXPECT_STREQ("   [12]      110      16       41       Yes", text(MONITOR_ROW_FIRST + 11));
}

TEST_F(MonitorDialogTest, AShorterListLeavesNoOldRowsAndUnknownPlacesShowDashes) {
    gps_set_fix_mode(3);
    gps_set_satellites_in_view(5);
    for (int i = 0; i < 5; i++) satellite(i, 20 + i, 100 + i, 40 + i, 20 + i, 1);
    monitor_dialog_refresh(d);
    EXPECT_STREQ("   [23]      103      43       23       Yes", text(MONITOR_ROW_FIRST + 3));
    gps_set_satellites_in_view(2);
    satellite(0, 9, -1, -1, 0, 0);
    monitor_dialog_refresh(d);
    EXPECT_STREQ("   [09]      ---      --       00       No", text(MONITOR_ROW_FIRST));
    EXPECT_STREQ(" ", text(MONITOR_ROW_FIRST + 2));
    EXPECT_EQ(2, d->lineCount);
    // An elevation above 90 ends the list there.
    gps_set_satellites_in_view(5);
    satellite(1, 31, 1, 91, 1, 1);
    monitor_dialog_refresh(d);
    EXPECT_EQ(1, d->lineCount);
    EXPECT_STREQ(" ", text(MONITOR_ROW_FIRST + 1));
}

TEST_F(MonitorDialogTest, OkAndCloseEndTheDialogOtherCommandsDoNot) {
    EXPECT_EQ(0, monitor_dialog_command(d, 2));
    EXPECT_EQ(1, d->open);
    EXPECT_EQ(1, monitor_dialog_command(d, 1));
    EXPECT_EQ(0, d->open);
    EXPECT_EQ(0, d->timerMs);
    // A tick that was already queued changes nothing any more.
    gps_set_last_message("late");
    monitor_dialog_timer(d);
    EXPECT_STREQ(" ", text(MONITOR_MESSAGE));

    MonitorDialog* other = monitor_dialog_create();
    monitor_dialog_close(other);
    EXPECT_EQ(0, other->open);
    monitor_dialog_free(other);
}

TEST(InfoDialogs, KeysTextsClaimOnlyWhatTheKeysDo) {
    KeysDialog k;
    keys_dialog_init(&k);
    EXPECT_STREQ("Buttons and Keys", k.caption);
    EXPECT_EQ(513, k.texts[0].controlId);
    EXPECT_STREQ("Kiv", k.texts[0].text);
    // Every key and mouse action the window has is named, and only those.
    std::string all;
    for (const InfoText& t : k.texts) all += t.text;
    for (const char* said :
         {"Alt changes nothing", "drag", "wheel", "PgUp", "Home", "F11", "night", "about the vehicle", "Ctrl+click",
          "waypoint list"})
        EXPECT_NE(std::string::npos, all.find(said)) << said;
    // The Ctrl keys the window has: Ctrl+click, Ctrl+R and Ctrl+F.
    for (size_t at = all.find("Ctrl+"); at != std::string::npos; at = all.find("Ctrl+", at + 1))
        EXPECT_TRUE(all.compare(at, 10, "Ctrl+click") == 0 || all.compare(at, 7, "Ctrl+R\t") == 0 ||
                    all.compare(at, 7, "Ctrl+F\t") == 0)
            << all.substr(at, 8);
    EXPECT_STREQ("OK", k.okText);
    EXPECT_EQ(1, k.result);
}

TEST(InfoDialogs, AboutTexts) {
    AboutDialog a;
    about_dialog_init(&a);
    EXPECT_STREQ("About KIV", a.caption);
    EXPECT_EQ(546, a.texts[0].controlId);
    EXPECT_STREQ("Kiv ver. 1.0 - rev. 243", a.texts[0].text);
    EXPECT_EQ(547, a.texts[1].controlId);
    EXPECT_STREQ("https://github.com/kiv-gps/kiv", a.texts[1].text);
    EXPECT_EQ(545, a.texts[2].controlId);
    utsname u{};
    ASSERT_EQ(0, uname(&u));
    int major = 0, minor = 0;
    sscanf(u.release, "%d.%d", &major, &minor);
    EXPECT_EQ(std::string(u.sysname) + " ver. " + std::to_string(major) + "." + std::to_string(minor), a.texts[2].text);
    EXPECT_STREQ("OK", a.okText);
}

TEST(InfoDialogs, SystemLineFromUnameFields) {
    char out[64];
    about_system_text("Linux", "6.1.0-18-amd64", out, sizeof out);
    EXPECT_STREQ("Linux ver. 6.1", out);
    about_system_text("Linux", "5.15.153.1-microsoft-standard-WSL2", out, sizeof out);
    EXPECT_STREQ("Linux ver. 5.15", out);
    about_system_text("FreeBSD", "14.0-RELEASE", out, sizeof out);
    EXPECT_STREQ("FreeBSD ver. 14.0", out);
    about_system_text("Linux", "weird", out, sizeof out);
    EXPECT_STREQ("Linux ver. 0.0", out);
    about_system_text("", nullptr, out, sizeof out);
    EXPECT_STREQ("Unknown ver. 0.0", out);
    about_system_text("Linux", "6.1", out, 8);
    EXPECT_STREQ("Linux v", out);
}
