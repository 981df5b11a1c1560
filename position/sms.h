// Phone text-message position source: every timer tick drives the phone with
// AT commands that list its received messages. The replies run through the
// NMEA line decoder, which decodes RMC sentences in them and calls
// sms_reply_done on the phone's final reply line.
// sms_poll and sms_reset run on the main thread, sms_reply_done on the serial
// reader thread; the state is shared as atomic values.
#pragma once

// Back to idle, step 0 (Connect, Disconnect, time-out).
void sms_reset();

// One timer step: sends the next command when no reply is awaited and
// abandons a command left unanswered for more than 10 ticks.
void sms_poll();

// The phone's final reply line ("OK", "ERROR", "+CMS ERROR") arrived.
void sms_reply_done();

// 1 from sending a command until its final reply line.
int sms_awaiting_reply();
