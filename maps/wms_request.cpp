#include "maps/wms_request.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings/app_settings.h"

namespace {

// Metres per inch, as MapServer converts a scale to a pixel size.
const double kInchesPerMetre = 39.3701;
const double kDpi = 72.0;

double micrometres(double v) { return std::round(v * 1e6) / 1e6; }

// Percent-encodes all but the unreserved characters and the comma that
// separates layer and style names.
void encode(std::string* out, const char* text) {
    static const char hex[] = "0123456789ABCDEF";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (isalnum(*p) || strchr("-_.~,", *p)) {
            out->push_back(static_cast<char>(*p));
        } else {
            out->push_back('%');
            out->push_back(hex[*p >> 4]);
            out->push_back(hex[*p & 15]);
        }
    }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

WmsBox wms_sheet_box(double x, double y, long scale, int width, int height) {
    double cell = static_cast<double>(scale) / (kDpi * kInchesPerMetre);
    double halfW = (width - 1) * cell / 2, halfH = (height - 1) * cell / 2;
    return WmsBox{micrometres(x - halfW), micrometres(y - halfH), micrometres(x + halfW), micrometres(y + halfH)};
}

const char* wms_image_format(const WmsSource* source) {
    if (strcmp(source->format, "image/jpeg") == 0 || strcmp(source->format, "image/gif") == 0)
        return source->format;
    return "image/png";
}

const char* wms_version(const WmsSource* source) {
    return strcmp(source->version, "1.1.1") == 0 ? "1.1.1" : "1.3.0";
}

int wms_get_map_url(char* out, size_t size, const WmsSource* source, const WmsBox* box, int width, int height) {
    std::string url = source->url;
    size_t query = url.find('?');
    if (query == std::string::npos) url += '?';
    else if (url.back() != '?' && url.back() != '&') url += '&';
    bool v13 = strcmp(wms_version(source), "1.3.0") == 0;
    url += "SERVICE=WMS&VERSION=";
    url += wms_version(source);
    url += "&REQUEST=GetMap&LAYERS=";
    encode(&url, source->layers);
    url += "&STYLES=";
    encode(&url, source->styles);
    url += v13 ? "&CRS=" : "&SRS=";
    url += box->epsg == 3857 ? "EPSG:3857" : "EPSG:3978";
    char tail[256];
    snprintf(tail, sizeof tail, "&BBOX=%.6f,%.6f,%.6f,%.6f&WIDTH=%d&HEIGHT=%d&FORMAT=", box->minX, box->minY,
             box->maxX, box->maxY, width, height);
    url += tail;
    encode(&url, wms_image_format(source));
    if (url.size() >= size) {
        if (size) out[0] = '\0';
        return 0;
    }
    memcpy(out, url.c_str(), url.size() + 1);
    return 1;
}

int wms_service_message(const unsigned char* data, size_t dataSize, char* out, size_t outSize) {
    if (outSize == 0) return 0;
    out[0] = '\0';
    size_t i = 0;
    while (i < dataSize && isBlank(static_cast<char>(data[i]))) i++;
    if (i >= dataSize || data[i] != '<') return 0;
    std::string xml(reinterpret_cast<const char*>(data) + i, dataSize - i);
    // The text of the first ServiceException element, else the whole
    // document without its tags.
    size_t from = xml.find("ServiceException");
    while (from != std::string::npos && xml.compare(from, 22, "ServiceExceptionReport") == 0)
        from = xml.find("ServiceException", from + 1);
    size_t start = 0, end = xml.size();
    if (from != std::string::npos) {
        size_t open = xml.find('>', from);
        if (open != std::string::npos) {
            start = open + 1;
            size_t close = xml.find("</", start);
            end = close == std::string::npos ? xml.size() : close;
        }
    }
    static const struct {
        const char* entity;
        char c;
    } entities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string text;
    auto put = [&text](char c) {
        if (isBlank(c) || static_cast<unsigned char>(c) < 0x20) {
            if (!text.empty() && text.back() != ' ') text.push_back(' ');
        } else {
            text.push_back(c);
        }
    };
    bool inTag = false;
    for (size_t k = start; k < end; k++) {
        if (xml.compare(k, 9, "<![CDATA[") == 0) {
            // Character data as it stands, up to its end marker.
            size_t close = xml.find("]]>", k + 9);
            size_t stop = close == std::string::npos ? xml.size() : close;
            for (size_t j = k + 9; j < stop; j++) put(xml[j]);
            k = close == std::string::npos ? xml.size() : close + 2;
            if (close != std::string::npos && close >= end) end = xml.find("</", close);
            if (end == std::string::npos) end = xml.size();
            continue;
        }
        char c = xml[k];
        if (c == '<') inTag = true;
        if (inTag) {
            if (c == '>') inTag = false;
            continue;
        }
        if (c == '&') {
            for (const auto& e : entities)
                if (xml.compare(k, strlen(e.entity), e.entity) == 0) {
                    c = e.c;
                    k += strlen(e.entity) - 1;
                    break;
                }
        }
        put(c);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.empty()) text = "the service sent an XML reply and no map";
    snprintf(out, outSize, "%s", text.c_str());
    return 1;
}
