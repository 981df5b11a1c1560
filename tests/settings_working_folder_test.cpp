// Which folder Kiv works in: named, the start folder with settings files, or
// the XDG data folder (the desktop menu's case), made with default settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "settings/working_folder.h"
#include "settings/working_folder_lock.h"
#include "settings_fixture.h"

namespace fs = std::filesystem;

TEST_F(SettingsDir, WorkingFolderIsNamedOrTheStartFolderOrTheXdgOne) {
    const char* home = getenv("HOME");
    std::string savedHome = home ? home : "";
    fs::create_directories("start");
    fs::create_directories("set-up");
    put("set-up/kiv_dev.txt", "NMEA\n");
    struct Case {
        const char *named, *current, *xdg, *expected;
    } cases[] = {
        {nullptr, "set-up", "xdg", "set-up"},        // settings files where started: as always
        {"named", "set-up", "xdg", "named"},         // --workdir wins
        {nullptr, "start", "xdg", "xdg/kiv"},        // the menu's case
        {nullptr, "start", nullptr, "home/.local/share/kiv"},
        {nullptr, "start", "relative", "home/.local/share/kiv"},
    };
    setenv("HOME", (fs::path(dir) / "home").c_str(), 1);
    for (const Case& c : cases) {
        std::string xdg = c.xdg ? (c.xdg[0] == 'r' ? std::string(c.xdg) : (fs::path(dir) / c.xdg).string()) : "";
        if (c.xdg) setenv("XDG_DATA_HOME", xdg.c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
        std::string folder, error;
        std::string named = c.named ? (fs::path(dir) / c.named).string() : "";
        ASSERT_EQ(1, settings_working_folder(c.named ? named.c_str() : nullptr,
                                             (fs::path(dir) / c.current).c_str(), &folder, &error)) << error;
        EXPECT_EQ((fs::path(dir) / c.expected).string(), folder);
        EXPECT_EQ(strcmp(c.expected, "set-up") != 0, fs::is_directory(fs::path(folder) / "Maps")) << folder;
        EXPECT_FALSE(fs::exists(fs::path(dir) / "start/kiv_com.txt"));
    }
    EXPECT_EQ("COM0\nSmall\n", get("xdg/kiv/kiv_com.txt"));
    EXPECT_EQ("Maps=./Maps\n", get("xdg/kiv/kiv_ini.txt"));
    EXPECT_EQ("NMEA\n", get("set-up/kiv_dev.txt"));
    EXPECT_FALSE(fs::exists("set-up/kiv_com.txt"));   // an existing set-up is left as it was

    unsetenv("XDG_DATA_HOME");
    unsetenv("HOME");
    std::string folder, error;
    EXPECT_EQ(0, settings_working_folder(nullptr, "start", &folder, &error));
    EXPECT_NE(std::string::npos, error.find("--workdir"));
    if (!savedHome.empty()) setenv("HOME", savedHome.c_str(), 1);
}

// A second Kiv in the same folder is refused with a message naming the
// folder and the first one's process; another folder is its own.
TEST_F(SettingsDir, WorkingFolderHoldsOneKivAtATime) {
    fs::create_directories("other");
    int first, second, elsewhere;
    std::string error;
    ASSERT_EQ(1, working_folder_lock(dir.c_str(), &first, &error)) << error;
    EXPECT_EQ(0, working_folder_lock(dir.c_str(), &second, &error));
    EXPECT_NE(std::string::npos, error.find("another Kiv already works in " + dir)) << error;
    EXPECT_NE(std::string::npos, error.find("process " + std::to_string(getpid()))) << error;
    EXPECT_EQ(1, working_folder_lock((fs::path(dir) / "other").c_str(), &elsewhere, &error)) << error;
    close(first);                         // the first ended: the folder is free
    EXPECT_EQ(1, working_folder_lock(dir.c_str(), &second, &error)) << error;
    close(second);
    close(elsewhere);
}
