#include "feed/CurlGlobal.h"

#include <curl/curl.h>

#include "platform/DebugLog.h"

CurlGlobal::CurlGlobal() : m_bOk(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {
    if (!m_bOk) {
        platform::DebugLog("feed", "curl_global_init failed");
    }
}

CurlGlobal::~CurlGlobal() {
    if (m_bOk) {
        curl_global_cleanup();
    }
}
