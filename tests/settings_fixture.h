// Each settings test runs in a fresh empty working folder, since the
// settings files live in the working directory.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class SettingsDir : public ::testing::Test {
protected:
    void SetUp() override {
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        saved = cwd;
        std::string tmpl = (std::filesystem::temp_directory_path() / "kiv-settings-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override {
        if (!saved.empty()) {
            EXPECT_EQ(chdir(saved.c_str()), 0);
        }
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
    static void put(const std::string& name, const std::string& text) {
        std::ofstream f(name, std::ios::binary);
        f << text;
    }
    static std::string get(const std::string& name) {
        std::ifstream f(name, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    static bool exists(const std::string& name) { return std::filesystem::exists(name); }
    // Names in the folder other than the ones given (left-over temporaries).
    int count_entries() const {
        int n = 0;
        for (auto& e : std::filesystem::directory_iterator(dir)) (void)e, ++n;
        return n;
    }

    std::string saved, dir;
};
