// kivdump as its users run it: a real process with files, stdin and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

const std::string kivdump = std::string(KIV_BINARY_DIR) + "/tools/kivdump/kivdump";

struct DumpRun {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Kivdump : public ::testing::Test {
protected:
    std::string dir;
    void SetUp() override {
        char pattern[] = "/tmp/kiv_kivdump_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    std::string file(const std::string& name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
        return dir + "/" + name;
    }
    // Runs kivdump with args (already quoted where needed) and stdin from input.
    DumpRun run(const std::string& args, const std::string& input = "") {
        std::string in = file("stdin", input);
        std::string cmd = "cd '" + dir + "' && '" + kivdump + "' " + args + " <'" + in + "' >'" + dir + "/out' 2>'" +
                          dir + "/err'";
        int rc = std::system(cmd.c_str());
        return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir + "/out"), slurp(dir + "/err")};
    }
};

const std::string rmc_line = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

TEST_F(Kivdump, PrintsAHeaderAndARowPerChange) {
    DumpRun r = run("--device nmea -", rmc_line);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string header, row, more;
    std::getline(lines, header);
    std::getline(lines, row);
    EXPECT_EQ(header.substr(0, 9), "utc\tmode\t");
    EXPECT_EQ(row, "1994/03/23 12:35:19\t2\t48.117300000\t11.516666667\t0.000\t22.400\t84.400\t0");
    EXPECT_FALSE(std::getline(lines, more)) << more;
}

TEST_F(Kivdump, ChunkSizeChangesRowsButNotTheFinalFix) {
    std::string stream = rmc_line + "$GPGGA,123520,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*42\r\n";
    std::string path = file("capture.bin", stream);
    std::string last[2];
    int k = 0;
    for (const char* chunk : {"1", "80"}) {
        DumpRun r = run("--device usb --chunk " + std::string(chunk) + " '" + path + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        last[k++] = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    }
    EXPECT_EQ(last[0], last[1]);
}

TEST_F(Kivdump, ShowWritesPrintsTheTripMateAnswerInHex) {
    DumpRun r = run("--device tripmate --show-writes -", "ASTRAL\r\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("write 18: 24 49 49 47 50 51 2C 41 53 54 52 41 4C 2A 37 33 0D 0A"), std::string::npos)
        << r.err;
}

TEST_F(Kivdump, BadUseIsReportedWithStatusTwo) {
    const char* bad[] = {"",
                         "-",
                         "--device",
                         "--device gps -",
                         "--device nmea",
                         "--device nmea --chunk 0 -",
                         "--device nmea --chunk -3 -",
                         "--device nmea --chunk 12x -",
                         "--device nmea --chunk 99999999999999999999 -",
                         "--device nmea --zone east -",
                         "--device nmea --zone 25 -",
                         "--device nmea --bogus -",
                         "--device nmea - -",
                         "--device nmea /nonexistent/capture.bin",
                         "--device nmea /"};
    for (const char* args : bad) {
        DumpRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("kivdump: "), std::string::npos) << args << ": " << r.err;
        EXPECT_EQ(r.out.find("utc\t"), std::string::npos) << args;
    }
}

}  // namespace
