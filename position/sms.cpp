#include "position/sms.h"

#include <atomic>

#include "position/receiver_io.h"

namespace {

// Program-wide phone state: written by the timer on the main thread and by
// the decoder on the reader thread.
struct SmsState {
    std::atomic<int> smsAwaitingReply{0};
    std::atomic<int> smsStep{0};       // 1 text mode, 2 unread, 3 read; else restart
    std::atomic<int> smsWaitTicks{0};  // ticks since the last command
};

SmsState sms;

// A command left unanswered this many ticks is abandoned.
const int sms_max_wait_ticks = 10;

void send_text(const char* text, int count) { receiver_write(text, count); }

}  // namespace

void sms_reset() {
    sms.smsAwaitingReply = 0;
    sms.smsStep = 0;
    sms.smsWaitTicks = 0;
}

void sms_poll() {
    if (sms.smsAwaitingReply.load() == 0) {
        switch (sms.smsStep.load()) {
        case 1:
            send_text("AT+CMGF=1\r\n", 11);
            sms.smsAwaitingReply = 1;
            break;
        case 2:
            send_text("AT+CMGL=\"REC UNREAD\"\r\n", 22);
            sms.smsAwaitingReply = 1;
            break;
        case 3:
            send_text("AT+CMGL=\"REC READ\"\r\n", 20);
            sms.smsAwaitingReply = 1;
            break;
        default:
            sms.smsStep = 0;  // the idle tick that restarts the cycle
            break;
        }
        sms.smsStep += 1;
        sms.smsWaitTicks = 0;
    }
    if (sms.smsWaitTicks.fetch_add(1) + 1 > sms_max_wait_ticks) sms_reset();
}

void sms_reply_done() { sms.smsAwaitingReply = 0; }

int sms_awaiting_reply() { return sms.smsAwaitingReply.load(); }
