#include "webhost/IBrowserEngine.h"

namespace WebWindow {

void DisconnectSink(IBrowserEngine* engine, EventSource source, IEventSink* sink) {
    if (engine && sink && sink->m_dwCookie != 0 && engine->Unadvise(source, sink->m_dwCookie)) {
        sink->m_dwCookie = 0;
    }
}

}  // namespace WebWindow
