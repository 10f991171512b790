#include "feed/CurlGlobal.h"

#include <curl/curl.h>

#include "feed/DebugLog.h"

CurlGlobal::CurlGlobal() : m_bOk(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {
    if (!m_bOk) {
        feed::DebugLog("curl_global_init failed");
    }
}

CurlGlobal::~CurlGlobal() {
    if (m_bOk) {
        curl_global_cleanup();
    }
}
