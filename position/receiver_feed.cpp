#include "position/receiver_feed.h"

#include "position/garmin.h"
#include "position/nmea.h"
#include "position/zodiac.h"
#include "settings/app_settings.h"

void receiver_feed(int deviceType, const char* bytes, int count) {
    switch (deviceType) {
    case DEVICE_NMEA:
    case DEVICE_USB_EARTHMATE:
    case DEVICE_TRIPMATE:
    case DEVICE_SMS:  // the phone's replies are text lines
        nmea_feed(bytes, count);
        break;
    case DEVICE_EARTHMATE:  // Rockwell Zodiac binary
        zodiac_feed(bytes, count);
        break;
    case DEVICE_GARMIN:  // Garmin binary
        garmin_feed(bytes, count);
        break;
    default:  // REMOTE and unknown types have no byte stream
        break;
    }
}
