// Common set-up of the serial link tests: a fresh settings record aimed at
// a pseudo-terminal, the headless platform and a clean fix record.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/headless.h"
#include "position/gps_fix.h"
#include "position/serial_link.h"
#include "settings/app_settings.h"
#include "settings/menu_ids.h"
#include "tests/pty_sim.h"

inline std::unique_ptr<AppSettings> link_settings(const std::string& path, int deviceType, unsigned baud) {
    auto s = std::make_unique<AppSettings>();
    s->commHandle = -1;
    s->deviceType = deviceType;
    s->comPort = 3;
    snprintf(s->comPath[3], sizeof s->comPath[3], "%s", path.c_str());
    s->baudRate = baud;
    s->dataBits = 8;
    return s;
}

class SerialLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        headless_install();
        gps_reset();
        serial_set_chunk_observer(nullptr);
    }
    void TearDown() override {
        if (s) serial_close(s.get());
        serial_set_chunk_observer(nullptr);
        // A reader let go by a test must be gone before the next one starts.
        wait_until([] { return serial_readers_running() == 0; }, 10000);
    }
    std::unique_ptr<AppSettings> s;
};
