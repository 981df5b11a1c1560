// The phone text-message source: the AT command cycle driven by the timer
// and the phone's replies running through the NMEA line decoder.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "nmea_test_support.h"

namespace {

const std::string text_mode = "AT+CMGF=1\r\n";
const std::string list_unread = "AT+CMGL=\"REC UNREAD\"\r\n";
const std::string list_read = "AT+CMGL=\"REC READ\"\r\n";

class PhoneMessages : public NmeaDecoderTest {
protected:
    // One timer tick; returns what it sent ("" for nothing).
    std::string tick() {
        size_t before = sent.writes.size();
        sms_poll();
        EXPECT_LE(sent.writes.size(), before + 1);
        return sent.writes.size() > before ? sent.writes.back() : "";
    }
    std::string message(const std::string& text) {
        return "+CMGL: 1,\"REC UNREAD\",\"+41790000000\",,\"06/04/08,12:00:00+08\"\r\n" + text + "\r\n";
    }
};

TEST_F(PhoneMessages, AnsweringPhoneCyclesThroughTheThreeCommandsInFourTicks) {
    EXPECT_EQ(tick(), "");  // idle tick starts the cycle
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(tick(), text_mode);
        EXPECT_EQ(sms_awaiting_reply(), 1);
        EXPECT_EQ(tick(), "");  // no reply yet: wait
        feed_text("OK\r\n");
        EXPECT_EQ(sms_awaiting_reply(), 0);
        EXPECT_EQ(tick(), list_unread);
        feed_text("\r\nOK\r\n");
        EXPECT_EQ(tick(), list_read);
        feed_text("OK\r\n");
        EXPECT_EQ(tick(), "");
    }
}

TEST_F(PhoneMessages, ErrorRepliesEndTheWaitLikeOk) {
    for (const char* reply : {"ERROR\r\n", "+CMS ERROR: 500\r\n", "OK\n"}) {
        sms_reset();
        sent.writes.clear();
        tick();
        ASSERT_EQ(tick(), text_mode);
        feed_text("AT+CMGF=1\r\n");  // the phone's echo is not a final reply
        EXPECT_EQ(sms_awaiting_reply(), 1) << reply;
        feed_text(reply);
        EXPECT_EQ(sms_awaiting_reply(), 0) << reply;
        EXPECT_EQ(tick(), list_unread) << reply;
    }
}

TEST_F(PhoneMessages, NeverAnsweringPhoneGetsTextModeAgainEveryTwelveTicks) {
    std::vector<int> sentAt;
    for (int t = 1; t <= 40; ++t)
        if (tick() == text_mode) sentAt.push_back(t);
    ASSERT_GE(sentAt.size(), 3u);
    for (size_t k = 1; k < sentAt.size(); ++k) EXPECT_EQ(sentAt[k] - sentAt[k - 1], 12);
    EXPECT_EQ(sent.writes.size(), sentAt.size());  // nothing but text mode
}

TEST_F(PhoneMessages, RmcInAMessageSetsThePosition) {
    tick();
    tick();
    feed_text("OK\r\n");
    ASSERT_EQ(tick(), list_unread);
    std::string rmc = nmea_with_checksum("GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", "");
    feed_text(message(rmc) + "\r\nOK\r\n");
    EXPECT_EQ(gps_utc_text(), "1994/03/23 12:35:19");
    EXPECT_NEAR(gps_latitude(), 48.1173, 1e-9);
    EXPECT_EQ(sms_awaiting_reply(), 0);
}

TEST_F(PhoneMessages, RmcAfterOtherWordsIsDecodedFromGprmcOn) {
    std::string rmc = nmea_with_checksum("GPRMC,123519,A,4807.038,S,01131.000,W,022.4,084.4,230394,003.1,W", "");
    feed_text(message("hello " + rmc.substr(1)));
    EXPECT_NEAR(gps_latitude(), -48.1173, 1e-9);
    EXPECT_NEAR(gps_longitude(), -11.516666667, 1e-9);
    gps_reset();
    feed_text(message("Position: " + rmc));  // with its "$" after the words
    EXPECT_NEAR(gps_latitude(), -48.1173, 1e-9);
}

TEST_F(PhoneMessages, WrongChecksumInAMessageChangesNothing) {
    feed_text(message("hello GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6B"));
    EXPECT_EQ(gps_utc_text(), "");
    EXPECT_EQ(gps_latitude(), 0.0);
}

TEST_F(PhoneMessages, OlderMessageListedAfterANewerOneKeepsThePosition) {
    std::string newer = nmea_with_checksum("GPRMC,140000,A,4700.000,N,00800.000,E,0.0,0.0,080406,,", "");
    std::string older = nmea_with_checksum("GPRMC,120000,A,4600.000,N,00700.000,E,0.0,0.0,080406,,", "");
    feed_text(message(newer) + "OK\r\n");   // unread listing
    feed_text(message(older) + message(newer) + "OK\r\n");  // read listing
    feed_text(message(older) + "OK\r\n");
    EXPECT_EQ(gps_utc_text(), "2006/04/08 14:00:00");
    EXPECT_NEAR(gps_latitude(), 47.0, 1e-12);
    EXPECT_NEAR(gps_longitude(), 8.0, 1e-12);
}

TEST_F(PhoneMessages, ResetReturnsToTheIdleTick) {
    tick();
    ASSERT_EQ(tick(), text_mode);
    sms_reset();
    EXPECT_EQ(sms_awaiting_reply(), 0);
    EXPECT_EQ(tick(), "");
    EXPECT_EQ(tick(), text_mode);
}

TEST_F(PhoneMessages, RepliesOnTheReaderThreadWhileTheTimerPolls) {
    // The timer and the reader share the state: only whole commands go out
    // and the cycle keeps running.
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) feed_text("OK\r\n");
    });
    for (int t = 0; t < 2000; ++t) sms_poll();
    stop = true;
    reader.join();
    for (const auto& w : sent.writes) EXPECT_TRUE(w == text_mode || w == list_unread || w == list_read) << w;
    EXPECT_GT(sent.writes.size(), 100u);
}

}  // namespace
